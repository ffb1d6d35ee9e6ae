#ifndef TALVORI_VCARDTEXT_H
#define TALVORI_VCARDTEXT_H

#include "pimtext.h"

#include <QByteArray>

// Reads vCards (2.1, 3.0, 4.0; one or several in a row): FN and N as names, EMAIL, TEL (without a
// "tel:" URI scheme), ORG, the addresses (ADR, LABEL) as locations, and NOTE as the body.
class VCardText
{
public:
    static PimText read(const QByteArray &data);
};

#endif
