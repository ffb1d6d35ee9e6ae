#include "resourceselect.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "storage/entities.h"
#include "storage/session.h"

using namespace Talvori;

bool ResourceSelect::parseStream()
{
    const QString name = m_streamParser->readUtf8String();
    if (name.isEmpty()) {
        m_connection->setResourceContext(Resource());
        return successResponse("Resource deselected");
    }
    const Resource resource = Resource::retrieveByName(name);
    if (!resource.isValid())
        throw HandlerException(name.toUtf8() + " is not a valid resource identifier");
    m_connection->setResourceContext(resource);
    const QByteArray text = name.toUtf8() + " selected";
    return successResponse(text.constData());
}
