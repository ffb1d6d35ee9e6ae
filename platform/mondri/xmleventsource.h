#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QIODevice;

namespace Mondri {

// What expat reported for one slice of input, in order: the starts and ends of elements and the
// text between them. Names and text live in one buffer; events point into it.
struct XmlEventBatch
{
    struct Event
    {
        enum Kind : unsigned char { Start, End, Text };
        Kind kind;
        unsigned line;          // where a start tag begins, counted from 1
        unsigned column;
        size_t begin;           // name ("namespace\x1flocal name") or text, in the buffer
        size_t size;
        size_t attributes;      // the first of a start tag's attributes
        size_t attributeCount;
    };
    struct Attribute
    {
        size_t nameBegin, nameSize, valueBegin, valueSize;
    };

    void clear();

    std::vector<Event> events;
    std::vector<Attribute> attributes;
    std::string buffer;
    QString error;      // why the input ends here (malformed, unreadable), after the events
    qint64 errorLine = 0;
    qint64 errorColumn = 0;
    bool last = false;  // no batch follows
    bool blank = true;  // nothing but white space was read so far
};

// Runs expat over the input slice by slice and hands out the events of each slice as a batch, so
// memory stays small whatever the size of the input. Large input from a file or a buffer is
// parsed on a thread of its own, one slice ahead of the reader: tokenizing is a third of the work
// of loading a large map, and it then overlaps with the rest.
class XmlEventSource
{
public:
    // The device must stay open, and must not be used elsewhere, while the source lives.
    explicit XmlEventSource(QIODevice *device);
    explicit XmlEventSource(const QByteArray &data);
    ~XmlEventSource();
    XmlEventSource(const XmlEventSource &) = delete;
    XmlEventSource &operator=(const XmlEventSource &) = delete;

    // The next batch; the one handed out before is taken back. Null after the last one.
    XmlEventBatch *next();

    // Separates the namespace from the local name in the names of events.
    static constexpr char NamespaceSeparator = '\x1f';

private:
    struct Parser;

    void start();
    void run();
    void produce(XmlEventBatch *batch);
    bool readSlice(XmlEventBatch *batch);
    void push(XmlEventBatch::Event::Kind kind, const char *data, size_t size);

    static void onStart(void *self, const char *name, const char **attributes);
    static void onEnd(void *self, const char *name);
    static void onText(void *self, const char *text, int size);

    // Producer side: used by the parsing thread only, once it runs.
    std::unique_ptr<Parser> m_parser;
    QIODevice *m_device = nullptr;
    QByteArray m_data;
    qsizetype m_dataOffset = 0;
    QByteArray m_slice;
    bool m_blank = true;
    XmlEventBatch *m_filling = nullptr;

    // Reader side.
    XmlEventBatch *m_current = nullptr;
    bool m_finished = false;

    // Batches go from the free list to the parsing thread, to the ready queue, to the reader and
    // back; the lists are guarded by m_mutex.
    std::array<XmlEventBatch, 4> m_batches;
    std::vector<XmlEventBatch *> m_free;
    std::deque<XmlEventBatch *> m_ready;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_threaded = false;
    std::thread m_thread;
};

} // namespace Mondri
