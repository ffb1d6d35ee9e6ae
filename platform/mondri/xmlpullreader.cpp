#include "xmlpullreader.h"

#include "xmleventsource.h"

namespace Mondri {

namespace {

QString located(qint64 line, qint64 column, const QString &message)
{
    return QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message);
}

std::pair<std::string_view, std::string_view> splitName(std::string_view name)
{
    const size_t separator = name.rfind(XmlEventSource::NamespaceSeparator);
    if (separator == std::string_view::npos)
        return { {}, name };
    return { name.substr(0, separator), name.substr(separator + 1) };
}

} // namespace

XmlPullReader::XmlPullReader() = default;

XmlPullReader::~XmlPullReader() = default;

void XmlPullReader::reset()
{
    m_source.reset();
    m_batch = nullptr;
    m_nextEvent = 0;
    m_blank = true;
    m_pendingError.clear();
    m_name.clear();
    m_namespace.clear();
    m_attributes.clear();
    m_line = 0;
    m_column = 0;
    m_error.clear();
}

void XmlPullReader::setDevice(QIODevice *device)
{
    reset();
    m_source = std::make_unique<XmlEventSource>(device);
}

void XmlPullReader::setData(const QByteArray &data)
{
    reset();
    m_source = std::make_unique<XmlEventSource>(data);
}

bool XmlPullReader::readNextStartElement()
{
    for (;;) {
        switch (next(nullptr)) {
        case Next::Start:
            return true;
        case Next::End:
        case Next::Done:
            return false;
        }
    }
}

void XmlPullReader::skipCurrentElement()
{
    int depth = 1;
    while (depth > 0) {
        switch (next(nullptr)) {
        case Next::Start:
            ++depth;
            break;
        case Next::End:
            --depth;
            break;
        case Next::Done:
            return;
        }
    }
}

std::string_view XmlPullReader::readElementText(std::string *scratch, bool *hadChildElements)
{
    // Most text comes whole, right before the end of its element: it is read where it lies.
    if (m_batch && m_nextEvent + 1 < m_batch->events.size()) {
        const XmlEventBatch::Event &text = m_batch->events[m_nextEvent];
        if (text.kind == XmlEventBatch::Event::Text && m_batch->events[m_nextEvent + 1].kind == XmlEventBatch::Event::End) {
            m_nextEvent += 2;
            return std::string_view(m_batch->buffer).substr(text.begin, text.size);
        }
    }
    scratch->clear();
    for (;;) {
        switch (next(scratch)) {
        case Next::Start:
            if (hadChildElements)
                *hadChildElements = true;
            skipCurrentElement();
            break;
        case Next::End:
        case Next::Done:
            return *scratch;
        }
    }
}

void XmlPullReader::readToEnd()
{
    while (next(nullptr) != Next::Done) {
    }
}

QString XmlPullReader::attribute(std::string_view localName) const
{
    for (const auto &[name, value] : m_attributes) {
        if (name == localName)
            return QString::fromUtf8(value.data(), qsizetype(value.size()));
    }
    return {};
}

void XmlPullReader::raiseError(const QString &message)
{
    raiseError(m_line, m_column, message);
}

void XmlPullReader::raiseError(qint64 line, qint64 column, const QString &message)
{
    if (m_error.isEmpty())
        m_error = located(line, column, message);
}

XmlPullReader::Next XmlPullReader::next(std::string *text)
{
    while (!hasError()) {
        if ((!m_batch || m_nextEvent == m_batch->events.size()) && !fill()) {
            m_error = m_pendingError;
            return Next::Done;
        }
        const XmlEventBatch::Event &event = m_batch->events[m_nextEvent++];
        switch (event.kind) {
        case XmlEventBatch::Event::Start:
            takeStart();
            return Next::Start;
        case XmlEventBatch::Event::End:
            return Next::End;
        case XmlEventBatch::Event::Text:
            if (text)
                text->append(m_batch->buffer, event.begin, event.size);
            break;
        }
    }
    return Next::Done;
}

// Moves on to the next batch that holds events; false when the input (or the parse) has ended.
bool XmlPullReader::fill()
{
    m_nextEvent = 0;
    while (m_pendingError.isEmpty() && m_source && (m_batch = m_source->next())) {
        m_blank = m_batch->blank;
        if (!m_batch->error.isEmpty())
            m_pendingError = located(m_batch->errorLine, m_batch->errorColumn, m_batch->error);
        if (!m_batch->events.empty())
            return true;
    }
    m_batch = nullptr;
    return false;
}

// Copies what the current element's start tag says, since the batch it came in will be reused.
void XmlPullReader::takeStart()
{
    const XmlEventBatch::Event &event = m_batch->events[m_nextEvent - 1];
    const std::string_view buffer(m_batch->buffer);
    const auto [ns, local] = splitName(buffer.substr(event.begin, event.size));
    m_namespace.assign(ns);
    m_name.assign(local);
    m_line = event.line;
    m_column = event.column;
    m_attributes.clear();
    for (size_t i = event.attributes; i < event.attributes + event.attributeCount; ++i) {
        const XmlEventBatch::Attribute &attribute = m_batch->attributes[i];
        const std::string_view name = splitName(buffer.substr(attribute.nameBegin, attribute.nameSize)).second;
        m_attributes.emplace_back(std::string(name), std::string(buffer.substr(attribute.valueBegin, attribute.valueSize)));
    }
}

} // namespace Mondri
