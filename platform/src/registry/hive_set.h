// Every hive that this process has open, and the flusher thread that writes them behind.
#ifndef W98_SRC_REGISTRY_HIVE_SET_H
#define W98_SRC_REGISTRY_HIVE_SET_H

#include <filesystem>
#include <memory>
#include <vector>

#include "registry/hive.h"

namespace w98::internal {

// The hive of the host file `file`: the one already open on the same file (same device and
// inode) when there is one, else a new one (the file is opened at its first Sync()). Thread-safe.
std::shared_ptr<Hive> OpenHive(const std::filesystem::path& file);

// Every hive open in this process. Thread-safe.
std::vector<std::shared_ptr<Hive>> LiveHives();

// Tells the flusher that a hive has new uncommitted changes. Thread-safe; cheap.
void WakeFlusher();

// Changes when a forked child forgets the hives of its parent (state built on them is stale).
int HiveSetGeneration();

// Commits every open hive (the flusher's work, done now). Thread-safe.
void CommitAllHives();

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_HIVE_SET_H
