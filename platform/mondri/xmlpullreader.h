#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QIODevice;

namespace Mondri {

class XmlEventSource;
struct XmlEventBatch;

// A pull parser over expat: elements and their text are read one after another, the way a
// recursive-descent reader wants them. Map content files are tens of megabytes of coordinates,
// and expat tokenizes them several times faster than QXmlStreamReader, without decoding the text
// to UTF-16 first. Names and text are handed out as UTF-8.
//
// Malformed XML stops the reader with an error naming the line and column; so does raiseError().
class XmlPullReader
{
public:
    XmlPullReader();
    ~XmlPullReader();
    XmlPullReader(const XmlPullReader &) = delete;
    XmlPullReader &operator=(const XmlPullReader &) = delete;

    // Starts over on new input. The device must stay open, and unused elsewhere, while reading.
    void setDevice(QIODevice *device);
    void setData(const QByteArray &data);

    // Reads up to the next start element inside the current element and returns true; returns
    // false at the end of the current element, at the end of the input and after an error.
    bool readNextStartElement();
    // Reads to the end of the current element, whatever it holds.
    void skipCurrentElement();
    // The text of the current element up to its end; child elements are skipped and reported
    // through the flag. The view is valid until the reader is used again. Text that came in
    // pieces is joined in the scratch buffer, which the caller may reuse.
    std::string_view readElementText(std::string *scratch, bool *hadChildElements = nullptr);
    // Reads the rest of the input, so malformed content after the root element is found too.
    void readToEnd();

    // The current element: its local name, namespace and attributes (by local name).
    std::string_view name() const { return m_name; }
    std::string_view namespaceUri() const { return m_namespace; }
    QString attribute(std::string_view localName) const;
    // Where the current element's start tag begins, both counted from 1.
    qint64 lineNumber() const { return m_line; }
    qint64 columnNumber() const { return m_column; }

    // True while no byte but white space has been read from the input.
    bool inputWasBlank() const { return m_blank; }

    // Stops the reader with an error at the current element or at the given place.
    void raiseError(const QString &message);
    void raiseError(qint64 line, qint64 column, const QString &message);
    bool hasError() const { return !m_error.isEmpty(); }
    // "line L, column C: message".
    QString errorString() const { return m_error; }

private:
    enum class Next { Start, End, Done };

    void reset();
    Next next(std::string *text);
    bool fill();
    void takeStart();

    std::unique_ptr<XmlEventSource> m_source;
    XmlEventBatch *m_batch = nullptr;   // the events being read, owned by the source
    size_t m_nextEvent = 0;
    bool m_blank = true;
    QString m_pendingError;             // malformed input, reported once the events before it are read

    std::string m_name;
    std::string m_namespace;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    qint64 m_line = 0;
    qint64 m_column = 0;
    QString m_error;
};

} // namespace Mondri
