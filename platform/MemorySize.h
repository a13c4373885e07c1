#pragma once
// How much memory this process may use at most.
#include <QtGlobal>

// The smaller of the machine's physical memory and the process's address space
// and data limits; 0 when none can be learned.
qint64 memoryAvailableToProcess();
