#pragma once

#include <QStringList>
#include <QVariant>
#include <QWindow>

// Stands in for the main window: records the UI messages it is sent, as
// "TAG=value", and their values as sent.
class MessageWindow : public QWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE void forwardMessage(const QString &tag, const QVariant &value)
    {
        messages << tag + QLatin1Char('=') + value.toString();
        values << value;
    }

    QStringList messages;
    QVariantList values;
};
