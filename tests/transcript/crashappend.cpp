// transcript_crash_append FOLDER: appends two exchanges through the store,
// then writes half of a third line as a crash in mid-write would leave it,
// and aborts.
#include "transcriptstore.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: transcript_crash_append FOLDER\n");
        return 2;
    }
    const tolka::TranscriptStore store(QString::fromLocal8Bit(argv[1]));
    for (const QString &text : {u"first"_s, u"second"_s}) {
        tolka::TranscriptEntry entry{QDateTime::fromString(u"2026-12-09T10:00:00.000Z"_s, Qt::ISODateWithMs),
                                     u"forward"_s,
                                     u"en-US"_s,
                                     u"fr-FR"_s,
                                     text,
                                     text,
                                     {}};
        if (!store.append(entry))
            return 1;
    }
    QFile file(store.fileFor(QDate(2026, 12, 9)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return 1;
    file.write("{\"direction\":\"forward\",\"sourceLanguage\":\"en-");
    file.flush();
    std::abort();
}
