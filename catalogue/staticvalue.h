#pragma once

// Constant JSON-shaped documents compiled into the program image.
// A value is 16 bytes: a header word (kind in bits 63..61, length in bits
// 60..0) and a payload word. Strings of up to 8 bytes are held in place,
// longer ones by address; arrays point at consecutive values, objects at
// consecutive 32-byte members (key, value). Everything here is constexpr so
// that the tables are built by the compiler: nothing is parsed or allocated.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string_view>

namespace tolka {

struct StaticMember;

enum class StaticKind : std::uint64_t
{
    String = 2,
    Int = 3,
    UInt = 4,
    Double = 5,
    Array = 6,
    Object = 7,
};

class StaticValue
{
public:
    static constexpr std::uint64_t lengthMask = 0x1fffffffffffffffULL;
    static constexpr unsigned kindShift = 61;
    static constexpr std::size_t inlineCapacity = 8;

    constexpr StaticValue() : m_header(0), m_payload{.u = 0} {}

    // A string literal (its terminator is not part of the value).
    template <std::size_t N> static consteval StaticValue string(const char (&text)[N])
    {
        return string(text, N - 1);
    }
    static constexpr StaticValue string(const char *bytes, std::size_t length)
    {
        StaticValue v;
        v.m_header = header(StaticKind::String, length);
        if (length <= inlineCapacity) {
            v.m_payload.inl[0] = 0; // make the array the active member
            for (std::size_t i = 0; i < inlineCapacity; ++i)
                v.m_payload.inl[i] = i < length ? bytes[i] : '\0';
        } else {
            v.m_payload.str = bytes;
        }
        return v;
    }
    static constexpr StaticValue integer(std::int64_t value)
    {
        StaticValue v;
        v.m_header = header(StaticKind::Int, 0);
        v.m_payload.i = value;
        return v;
    }
    static constexpr StaticValue unsignedInteger(std::uint64_t value)
    {
        StaticValue v;
        v.m_header = header(StaticKind::UInt, 0);
        v.m_payload.u = value;
        return v;
    }
    static constexpr StaticValue number(double value)
    {
        StaticValue v;
        v.m_header = header(StaticKind::Double, 0);
        v.m_payload.d = value;
        return v;
    }
    template <std::size_t N> static constexpr StaticValue array(const StaticValue (&elements)[N])
    {
        StaticValue v;
        v.m_header = header(StaticKind::Array, N);
        v.m_payload.arr = elements;
        return v;
    }
    template <std::size_t N> static constexpr StaticValue object(const StaticMember (&members)[N])
    {
        StaticValue v;
        v.m_header = header(StaticKind::Object, N);
        v.m_payload.obj = members;
        return v;
    }

    constexpr std::uint64_t headerWord() const { return m_header; }
    constexpr unsigned kind() const { return unsigned(m_header >> kindShift); }
    constexpr std::size_t size() const { return std::size_t(m_header & lengthMask); }
    constexpr bool isString() const { return kind() == unsigned(StaticKind::String); }
    constexpr bool isArray() const { return kind() == unsigned(StaticKind::Array); }
    constexpr bool isObject() const { return kind() == unsigned(StaticKind::Object); }
    constexpr bool isNumber() const
    {
        const unsigned k = kind();
        return k == unsigned(StaticKind::Int) || k == unsigned(StaticKind::UInt) ||
               k == unsigned(StaticKind::Double);
    }

    // The bytes of a string; empty for any other kind.
    constexpr std::string_view text() const
    {
        if (!isString())
            return {};
        const std::size_t n = size();
        return n <= inlineCapacity ? std::string_view(m_payload.inl, n) : std::string_view(m_payload.str, n);
    }
    // True when this is a string with exactly the bytes of `s`: the header
    // word (kind and length together) first, then the bytes.
    constexpr bool equals(std::string_view s) const
    {
        if consteval {
            return m_header == header(StaticKind::String, s.size()) && text() == s;
        } else {
            return sameString(string(s.data(), s.size()));
        }
    }
    // The same test against a probe made with string(): two word compares
    // for strings held in place (their unused bytes are zero), else the bytes.
    bool sameString(const StaticValue &probe) const
    {
        if (m_header != probe.m_header)
            return false;
        const std::size_t n = size();
        if (n <= inlineCapacity) {
            std::uint64_t a;
            std::uint64_t b;
            std::memcpy(&a, m_payload.inl, sizeof a);
            std::memcpy(&b, probe.m_payload.inl, sizeof b);
            return a == b;
        }
        return std::memcmp(m_payload.str, probe.m_payload.str, n) == 0;
    }
    // A number as a double: signed and unsigned integers are converted.
    // Throws std::runtime_error("Not a number") for any other kind.
    constexpr double toDouble() const
    {
        switch (StaticKind(kind())) {
        case StaticKind::Int:
            return double(m_payload.i);
        case StaticKind::UInt:
            return double(m_payload.u);
        case StaticKind::Double:
            return m_payload.d;
        default:
            throw std::runtime_error("Not a number");
        }
    }

    // Elements of an array / members of an object (empty for other kinds).
    constexpr std::span<const StaticValue> elements() const
    {
        return isArray() ? std::span<const StaticValue>(m_payload.arr, size())
                         : std::span<const StaticValue>();
    }
    constexpr std::span<const StaticMember> members() const;

    // Element `index` of an array: std::out_of_range("Index out of range").
    constexpr const StaticValue &at(std::size_t index) const
    {
        if (!isArray() || index >= size())
            throw std::out_of_range("Index out of range");
        return m_payload.arr[index];
    }
    // Value of the member at position `index` of an object.
    constexpr const StaticValue &valueAt(std::size_t index) const;
    // Linear key scan, first match wins: std::out_of_range("Key not found").
    constexpr const StaticValue &operator[](std::string_view key) const;
    // The same scan; nullptr when the key is missing.
    constexpr const StaticValue *find(std::string_view key) const;

private:
    static constexpr std::uint64_t header(StaticKind kind, std::size_t length)
    {
        return (std::uint64_t(kind) << kindShift) | (std::uint64_t(length) & lengthMask);
    }

    std::uint64_t m_header;
    union Payload {
        const char *str;
        char inl[inlineCapacity];
        std::int64_t i;
        std::uint64_t u;
        double d;
        const StaticValue *arr;
        const StaticMember *obj;
    } m_payload;
};

struct StaticMember
{
    StaticValue key;
    StaticValue value;
};

static_assert(sizeof(StaticValue) == 16, "a StaticValue is two 64-bit words");
static_assert(sizeof(StaticMember) == 32, "an object member is a key and a value");
static_assert(alignof(StaticValue) == 8);

// Equal byte length first, then the bytes.
constexpr bool sameBytes(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && a == b;
}

constexpr std::span<const StaticMember> StaticValue::members() const
{
    return isObject() ? std::span<const StaticMember>(m_payload.obj, size())
                      : std::span<const StaticMember>();
}

constexpr const StaticValue &StaticValue::valueAt(std::size_t index) const
{
    if (!isObject() || index >= size())
        throw std::out_of_range("Index out of range");
    return m_payload.obj[index].value;
}

constexpr const StaticValue *StaticValue::find(std::string_view key) const
{
    if consteval {
        for (const StaticMember &m : members()) {
            if (m.key.equals(key))
                return &m.value;
        }
    } else {
        const StaticValue probe = string(key.data(), key.size());
        for (const StaticMember &m : members()) {
            if (m.key.sameString(probe))
                return &m.value;
        }
    }
    return nullptr;
}

constexpr const StaticValue &StaticValue::operator[](std::string_view key) const
{
    if (const StaticValue *v = find(key))
        return *v;
    throw std::out_of_range("Key not found");
}

} // namespace tolka
