#ifndef GRAPHTEXT_H
#define GRAPHTEXT_H

// Texts that describe graphs for the file-format tests, so a failed comparison shows what differs.
#include <graphelement.h>

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace GraphText {

// A value with its type, the way Python would print it, so 3 the integer, 3.0 the real and "3"
// the text differ: "i:3", "f:3.0", "b:True", "s:3".
inline QString typed(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QStringLiteral("i:") + value.toString();
    case QMetaType::Double: {
        QString text = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('n')))
            text += QLatin1String(".0");
        return QStringLiteral("f:") + text;
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("b:True") : QStringLiteral("b:False");
    default:
        return QStringLiteral("s:") + value.toString();
    }
}

// "{name=i:1,other=s:x}" in the order the element received them; empty without user properties.
inline QString userProperties(const GraphElement *element)
{
    QStringList parts;
    for (const QByteArray &name : element->userPropertyNames())
        parts.append(QString::fromUtf8(name) + QLatin1Char('=') + typed(element->property(name)));
    return parts.isEmpty() ? QString() : QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

}

#endif
