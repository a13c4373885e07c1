#pragma once
// Looks shared by several windows.
class QWidget;

// Scroll bars whose handle stands out darker than its groove, so that it is plain which
// part moves with the text (the platform style draws the groove darker than the handle).
void useClearScrollBars(QWidget *widget);
