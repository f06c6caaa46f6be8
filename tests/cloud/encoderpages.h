#pragma once

#include <QByteArray>
#include <QList>

// A recording cut at its pages as the encoder hands them on while it is
// spoken: the two header pages together first, then the audio pages one by
// one.
inline QList<QByteArray> pagesOf(const QByteArray &stream)
{
    QList<QByteArray> pages;
    qsizetype at = 0;
    while (at < stream.size()) {
        qsizetype next = stream.indexOf("OggS", at + 4);
        if (next < 0)
            next = stream.size();
        pages.append(stream.sliced(at, next - at));
        at = next;
    }
    if (pages.size() >= 2) {
        const QByteArray identification = pages.takeFirst();
        pages.first().prepend(identification);
    }
    return pages;
}
