#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <cstdint>
#include <flat_map>
#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolka {

// Handle of one connection. Nothing disconnects today; the id is kept so that
// a disconnect can be added without changing callers.
struct Connection
{
    std::uint64_t id = 0;
};

// A small signal whose slots are delivered on the thread of a context object.
// Used for the audio hand-offs between value types (which cannot take part in
// Qt connections) and the QObjects living on the worker thread.
//
// Not thread-safe for connect: all connections are made during start-up on the
// GUI thread, before the first emission; fire only reads.
template <typename... Args> class signal
{
public:
    struct Slot
    {
        std::function<void(Args...)> callable;
        QPointer<QObject> context;
        bool hasContext = false;
    };

    // Connects member function `method` of `object`. QObjects receive on
    // their own thread; other receivers on the thread that connects them.
    template <typename T, typename M> Connection connect(T *object, M &&method)
    {
        const std::uint64_t id = ++nextId;
        QObject *context = nullptr;
        if constexpr (std::is_base_of_v<QObject, T>)
            context = object;
        else
            context = QThread::currentThread();
        Slot slot{[object, m = std::forward<M>(method)](Args... args) {
                      std::invoke(m, object, std::move(args)...);
                  },
                  QPointer<QObject>(context), context != nullptr};
        connections.try_emplace(id, std::move(slot));
        return Connection{id};
    }

    // Calls every slot in connection order. A slot whose context lives on the
    // calling thread runs before fire returns; others run later on theirs.
    // A slot whose context has been destroyed is skipped.
    //
    // Qt's event queue orders the post before the call, but with futexes that
    // ThreadSanitizer cannot see; the hand-off mutex, held while posting and
    // taken by the posted call, states the same order in a way it can. (It
    // is process-wide: a mutex made for the post could not order itself.)
    void fire(const Args &...args) const
    {
        for (const Slot &slot : connections.values()) {
            QObject *context = slot.context.data();
            if (slot.hasContext && !context)
                continue;
            if (!slot.hasContext || context->thread() == QThread::currentThread()) {
                slot.callable(args...);
                continue;
            }
            const std::lock_guard posting(handoff());
            QMetaObject::invokeMethod(
                context,
                [callable = slot.callable, args...]() mutable {
                    {
                        const std::lock_guard ordered(handoff());
                    }
                    callable(std::move(args)...);
                },
                Qt::QueuedConnection);
        }
    }

    [[nodiscard]] const std::vector<std::uint64_t> &ids() const { return connections.keys(); }
    [[nodiscard]] std::size_t size() const { return connections.size(); }
    [[nodiscard]] std::uint64_t lastId() const { return nextId; }

private:
    static std::mutex &handoff()
    {
        static std::mutex shared;
        return shared;
    }

    std::flat_map<std::uint64_t, Slot> connections;
    std::uint64_t nextId = 0;
};

} // namespace tolka
