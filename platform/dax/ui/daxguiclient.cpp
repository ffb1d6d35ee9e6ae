#include "daxguiclient.h"

DaxGuiClient::DaxGuiClient(const DaxComponentData &component)
    : m_component(component)
{
}

DaxGuiClient::~DaxGuiClient() = default;
