#include "olm/ScanState.h"

QString m_selectedFile;
QString m_strDatabasePath;
int fileDescriptor = -1;
qint64 lSize = 0;
qint64 dwOffset = 0;
char *pBuff = nullptr;
qint64 pBuffSize = 0;
qint64 pBuffFileOffset = 0;
bool pBuffEndsDocument = false;
std::atomic<bool> bStopFlag{false};
std::atomic<bool> stopflag{false};
std::atomic<bool> bProcessRunning{false};
