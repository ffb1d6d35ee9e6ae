#include "sorvanitypes.h"

#include <QDBusMetaType>

namespace SorvaniTypes {

void registerTypes()
{
    qDBusRegisterMetaType<Tresilo::Node>();
    qDBusRegisterMetaType<Sorvani::Search::Result>();
    qDBusRegisterMetaType<QList<Sorvani::Search::Result>>();
    qDBusRegisterMetaType<RequestPropertyMapDBus>();
}

} // namespace SorvaniTypes

QDBusArgument &operator<<(QDBusArgument &argument, const Tresilo::Node &node)
{
    // A resource travels as its URI in encoded form; anything else as its text.
    const QString value = node.isResource() ? QString::fromLatin1(node.uri().toEncoded()) : node.toString();
    argument.beginStructure();
    argument << int(node.type()) << value << node.language().toString() << node.dataType().toString();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Tresilo::Node &node)
{
    int type = 0;
    QString value;
    QString language;
    QString dataType;
    argument.beginStructure();
    argument >> type >> value >> language >> dataType;
    argument.endStructure();

    switch (type) {
    case Tresilo::Node::LiteralNode:
        node = Tresilo::Node(dataType.isEmpty()
                                 ? Tresilo::LiteralValue::createPlainLiteral(value, Tresilo::LanguageTag(language))
                                 : Tresilo::LiteralValue::fromString(value, QUrl(dataType)));
        break;
    case Tresilo::Node::ResourceNode:
        node = Tresilo::Node(QUrl::fromEncoded(value.toLatin1()));
        break;
    case Tresilo::Node::BlankNode:
        node = Tresilo::Node(value);
        break;
    default:
        node = Tresilo::Node();
        break;
    }
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const Sorvani::Search::Result &result)
{
    argument.beginStructure();
    argument << QString::fromLatin1(result.resourceUri().toEncoded()) << result.score();
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<Tresilo::Node>());
    const QHash<QUrl, Tresilo::Node> properties = result.requestProperties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        argument.beginMapEntry();
        argument << QString::fromLatin1(it.key().toEncoded()) << it.value();
        argument.endMapEntry();
    }
    argument.endMap();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Sorvani::Search::Result &result)
{
    QString uri;
    double score = 0.0;
    argument.beginStructure();
    argument >> uri >> score;
    result = Sorvani::Search::Result(QUrl::fromEncoded(uri.toLatin1()), score);
    argument.beginMap();
    while (!argument.atEnd()) {
        QString property;
        Tresilo::Node node;
        argument.beginMapEntry();
        argument >> property >> node;
        argument.endMapEntry();
        result.addRequestProperty(QUrl::fromEncoded(property.toLatin1()), node);
    }
    argument.endMap();
    argument.endStructure();
    return argument;
}
