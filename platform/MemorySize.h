#pragma once
// How much memory this process may use at most.
#include <QString>
#include <QtGlobal>

// The least of the machine's physical memory, the process's address space and data
// limits and the memory limit of its control group; 0 when none can be learned.
qint64 memoryAvailableToProcess();

// The memory limit of the control group this process runs in, read from the files
// under root (the real ones but in tests): the least of the group's own limit and those of the
// groups above it, v2's memory.max or v1's memory.limit_in_bytes; 0 when none is set.
qint64 controlGroupMemoryLimit(const QString &root = QString());
