#pragma once

#include <memory>
#include <string>

#include "core/Cache.h"

class TStoryDB;

// Starts the scan of the chapter cache under the BooK folder, sparing the
// folders of the stories on the local shelf (those are kept for offline
// reading). onDone runs on the user-interface thread with what was found.
std::unique_ptr<TCacheThread> NewCacheScan(TStoryDB* db, const std::string& bookFolder,
                                           TCacheThread::ScanDoneEvent onDone);
