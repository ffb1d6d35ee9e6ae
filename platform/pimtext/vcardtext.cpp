#include "vcardtext.h"

#include "contentline.h"

PimText VCardText::read(const QByteArray &data)
{
    PimText text;
    const QList<ContentLine> lines = ContentLine::parse(data);
    for (const ContentLine &line : lines) {
        if (line.name == "FN") {
            text.add(PimText::Name, line.text());
        } else if (line.name == "N") {
            text.add(PimText::Name, line.text(true));
        } else if (line.name == "EMAIL") {
            text.add(PimText::Email, line.text());
        } else if (line.name == "TEL") {
            QString number = line.text();
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            text.add(PimText::Phone, number);
        } else if (line.name == "ORG") {
            text.add(PimText::Organization, line.text(true));
        } else if (line.name == "ADR" || line.name == "LABEL") {
            text.add(PimText::Location, line.text(true));
        } else if (line.name == "NOTE") {
            text.add(PimText::Body, line.text());
        }
    }
    return text;
}
