#pragma once
// Process-wide state of the desktop application: its windows and what a save will write.
#include <QtGlobal>

class QAction;
class QEntourageMainWindow;
class QLogReport;
class QParseDatabase;

extern QEntourageMainWindow *pMainWindow; // the single main window
extern QParseDatabase *m_pParseDatabase;  // the current browse window
extern QLogReport *m_pLogDlg;             // the log window, alive as long as the main window
extern QAction *m_pOpenFile;              // the toolbar Open action
// True when the browse window was opened through Open, false after Find File.
extern bool bLastState;
// Items the next save writes (kept by the saving thread); the scan summary sets it to all items found.
extern qint64 SizeOfAllMails;
