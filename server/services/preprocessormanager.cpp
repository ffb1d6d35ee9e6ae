#include "preprocessormanager.h"

PreprocessorManager *PreprocessorManager::instance()
{
    static PreprocessorManager manager;
    return &manager;
}

bool PreprocessorManager::isActive() const
{
    return false;
}

void PreprocessorManager::beginHandleItem(const Talvori::PimItem &, DataStore *)
{
}
