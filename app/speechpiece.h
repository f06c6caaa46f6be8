#pragma once

#include <QByteArray>

#include <cstdint>

// Part of a synthesis reply, handed on as it is read. Pieces of one reply
// share its identity and come in order, counted from 0; the first piece of a
// new reply replaces whatever was playing.
struct SpeechPiece
{
    std::uint64_t reply = 0;
    std::uint64_t index = 0;
    QByteArray packets; // bare 60-byte Opus packets (empty in a bare end)
    bool last = false;  // nothing of this reply follows
};
