#pragma once

// Whole-file writes of the story core: the platform's atomic file writer.
#include "platform/AtomicFile.h"
#include "platform/Folders.h"

using platform::FileDurability;
using platform::MakeFolders;
using platform::WriteFileAtomic;
