#include "xmleventsource.h"

#include <QIODevice>

#include <expat.h>

#include <algorithm>

namespace Mondri {

namespace {

// Input is parsed in slices of this size; the events of a slice make one batch.
constexpr qsizetype SliceSize = 64 * 1024;
// Below this size a thread of its own costs more than it saves.
constexpr qint64 ThreadedSize = 4 * SliceSize;

// The common faults keep the wording users already know from this reader; the rare ones keep
// expat's own.
QString describe(XML_Error code)
{
    switch (code) {
    case XML_ERROR_NO_ELEMENTS:
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return QStringLiteral("Premature end of document.");
    case XML_ERROR_TAG_MISMATCH:
        return QStringLiteral("Opening and ending tag mismatch.");
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return QStringLiteral("Extra content at end of document.");
    default:
        break;
    }
    QString text = QString::fromUtf8(XML_ErrorString(code));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}

} // namespace

void XmlEventBatch::clear()
{
    events.clear();
    attributes.clear();
    buffer.clear();
    error.clear();
    errorLine = 0;
    errorColumn = 0;
    last = false;
}

struct XmlEventSource::Parser
{
    Parser() : handle(XML_ParserCreateNS(nullptr, NamespaceSeparator)) {}
    ~Parser() { XML_ParserFree(handle); }
    XML_Parser handle;
};

XmlEventSource::XmlEventSource(QIODevice *device)
    : m_device(device)
{
    // Sockets, processes and pipes belong to their thread; files and buffers may be read anywhere.
    m_threaded = !device->isSequential() && device->size() - device->pos() > ThreadedSize;
    start();
}

XmlEventSource::XmlEventSource(const QByteArray &data)
    : m_data(data)
{
    m_threaded = data.size() > ThreadedSize;
    start();
}

XmlEventSource::~XmlEventSource()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
}

void XmlEventSource::start()
{
    m_parser = std::make_unique<Parser>();
    // No external entities are ever loaded: there is no handler for them.
    XML_SetUserData(m_parser->handle, this);
    XML_SetElementHandler(m_parser->handle, &XmlEventSource::onStart, &XmlEventSource::onEnd);
    XML_SetCharacterDataHandler(m_parser->handle, &XmlEventSource::onText);
    for (XmlEventBatch &batch : m_batches)
        m_free.push_back(&batch);
    if (m_threaded)
        m_thread = std::thread(&XmlEventSource::run, this);
}

XmlEventBatch *XmlEventSource::next()
{
    if (m_finished)
        return nullptr;
    if (!m_threaded) {
        m_current = &m_batches.front();
        produce(m_current);
    } else {
        std::unique_lock lock(m_mutex);
        if (m_current)
            m_free.push_back(m_current);
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_ready.empty(); });
        m_current = m_ready.front();
        m_ready.pop_front();
    }
    // The last batch is still handed out; only the call after it finds nothing.
    if (m_current->last)
        m_finished = true;
    return m_current;
}

void XmlEventSource::run()
{
    for (;;) {
        XmlEventBatch *batch = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_free.empty(); });
            if (m_stop)
                return;
            batch = m_free.back();
            m_free.pop_back();
        }
        produce(batch);
        {
            std::lock_guard lock(m_mutex);
            m_ready.push_back(batch);
        }
        m_changed.notify_all();
        if (batch->last)
            return;
    }
}

// Parses slices into the batch until it holds events or the input has ended.
void XmlEventSource::produce(XmlEventBatch *batch)
{
    batch->clear();
    m_filling = batch;
    while (batch->events.empty() && !batch->last && readSlice(batch)) {
    }
    batch->blank = m_blank;
    m_filling = nullptr;
}

// Feeds one slice to expat; false when the input has ended here.
bool XmlEventSource::readSlice(XmlEventBatch *batch)
{
    const char *data = nullptr;
    qint64 count = 0;
    if (m_device) {
        m_slice.resize(SliceSize);
        count = m_device->read(m_slice.data(), SliceSize);
        if (count < 0) {
            batch->error = m_device->errorString();
            batch->errorLine = qint64(XML_GetCurrentLineNumber(m_parser->handle));
            batch->errorColumn = 1;
            batch->last = true;
            return false;
        }
        data = m_slice.constData();
    } else {
        count = std::min(SliceSize, m_data.size() - m_dataOffset);
        data = m_data.constData() + m_dataOffset;
        m_dataOffset += count;
    }
    if (m_blank)
        m_blank = std::all_of(data, data + count, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    const bool final = count == 0;
    if (XML_Parse(m_parser->handle, data, int(count), final) == XML_STATUS_ERROR) {
        const XML_Parser parser = m_parser->handle;
        batch->error = describe(XML_GetErrorCode(parser));
        batch->errorLine = qint64(XML_GetErrorLineNumber(parser));
        batch->errorColumn = qint64(XML_GetErrorColumnNumber(parser)) + 1;
        batch->last = true;
        return false;
    }
    if (final)
        batch->last = true;
    return !final;
}

void XmlEventSource::push(XmlEventBatch::Event::Kind kind, const char *data, size_t size)
{
    XmlEventBatch &batch = *m_filling;
    // Expat hands text over in pieces (at every line break, at slice ends); they are joined here.
    if (kind == XmlEventBatch::Event::Text && !batch.events.empty() && batch.events.back().kind == XmlEventBatch::Event::Text) {
        batch.buffer.append(data, size);
        batch.events.back().size += size;
        return;
    }
    XmlEventBatch::Event event { kind, 0, 0, batch.buffer.size(), size, batch.attributes.size(), 0 };
    if (kind == XmlEventBatch::Event::Start) {
        event.line = unsigned(XML_GetCurrentLineNumber(m_parser->handle));
        event.column = unsigned(XML_GetCurrentColumnNumber(m_parser->handle)) + 1;
    }
    if (size > 0)
        batch.buffer.append(data, size);
    batch.events.push_back(event);
}

void XmlEventSource::onStart(void *self, const char *name, const char **attributes)
{
    auto *source = static_cast<XmlEventSource *>(self);
    source->push(XmlEventBatch::Event::Start, name, std::char_traits<char>::length(name));
    XmlEventBatch &batch = *source->m_filling;
    for (const char **pair = attributes; pair[0]; pair += 2) {
        XmlEventBatch::Attribute attribute {};
        attribute.nameBegin = batch.buffer.size();
        attribute.nameSize = std::char_traits<char>::length(pair[0]);
        batch.buffer.append(pair[0], attribute.nameSize);
        attribute.valueBegin = batch.buffer.size();
        attribute.valueSize = std::char_traits<char>::length(pair[1]);
        batch.buffer.append(pair[1], attribute.valueSize);
        batch.attributes.push_back(attribute);
        ++batch.events.back().attributeCount;
    }
}

void XmlEventSource::onEnd(void *self, const char *)
{
    static_cast<XmlEventSource *>(self)->push(XmlEventBatch::Event::End, nullptr, 0);
}

void XmlEventSource::onText(void *self, const char *text, int size)
{
    static_cast<XmlEventSource *>(self)->push(XmlEventBatch::Event::Text, text, size_t(size));
}

} // namespace Mondri
