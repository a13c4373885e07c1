#include "app/AppState.h"

QEntourageMainWindow *pMainWindow = nullptr;
QParseDatabase *m_pParseDatabase = nullptr;
QLogReport *m_pLogDlg = nullptr;
QAction *m_pOpenFile = nullptr;
bool bLastState = false;
