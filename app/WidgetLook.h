#pragma once
// Looks shared by several windows.
#include <QFont>

class QWidget;

// The font of every window: "Lucida Grande" at pointSize.
QFont lucidaGrande(int pointSize);

// Scroll bars whose handle stands out darker than its groove, so that it is plain which
// part moves with the text (the platform style draws the groove darker than the handle).
void useClearScrollBars(QWidget *widget);
