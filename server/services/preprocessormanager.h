#ifndef TALVORI_PREPROCESSORMANAGER_H
#define TALVORI_PREPROCESSORMANAGER_H

class DataStore;

namespace Talvori {
class PimItem;
}

// The chain of agents that see each new item before clients do. No preprocessor can register
// yet, so the chain is never active and new items are visible at once; appending already asks,
// so that registration alone will switch the hidden-until-preprocessed path on.
class PreprocessorManager
{
public:
    static PreprocessorManager *instance();

    // Enabled and at least one preprocessor registered.
    bool isActive() const;
    // Takes an item that was stored hidden; it is shown again when the chain is done with it.
    void beginHandleItem(const Talvori::PimItem &item, DataStore *dataStore);

private:
    PreprocessorManager() = default;
};

#endif
