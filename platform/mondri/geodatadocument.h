#pragma once

#include "geodatacontainer.h"
#include "geodatastyle.h"
#include "geodatastylemap.h"

#include <QHash>

namespace Mondri {

// The top of a loaded file. It keeps the shared styles and style maps by id.
class GeoDataDocument : public GeoDataContainer
{
public:
    bool isDocument() const override { return true; }
    FeatureId featureId() const override { return DocumentId; }

    // Adding a style or map whose id is already known keeps the first one, as a later duplicate
    // in the same file is the one nobody expects to win.
    void addStyle(const GeoDataStyle &style);
    void addStyleMap(const GeoDataStyleMap &map);

    // The style with that id; the default style when there is none.
    GeoDataStyle style(const QString &id) const;
    // The style map with that id; an empty map when there is none.
    GeoDataStyleMap styleMap(const QString &id) const;
    // The id of the style a placemark's style URL stands for: the URL names a style map whose
    // "normal" entry names the style, or, when there is no such entry, the style itself. Every
    // "#" is dropped, since files write references with and without one.
    QString styleIdForUrl(const QString &styleUrl) const;
    // The style of that id (see style()).
    GeoDataStyle styleForUrl(const QString &styleUrl) const { return style(styleIdForUrl(styleUrl)); }

    // The directory relative links in the file (icons) start from; empty for content not read
    // from a file.
    QString baseDirectory() const { return m_baseDirectory; }
    void setBaseDirectory(const QString &directory) { m_baseDirectory = directory; }

    int styleCount() const { return int(m_styles.size()); }
    int styleMapCount() const { return int(m_styleMaps.size()); }

private:
    QHash<QString, GeoDataStyle> m_styles;
    QHash<QString, GeoDataStyleMap> m_styleMaps;
    QString m_baseDirectory;
};

} // namespace Mondri
