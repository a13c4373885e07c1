#include "app/WidgetLook.h"

#include <QWidget>

QFont lucidaGrande(int pointSize)
{
    return QFont(QStringLiteral("Lucida Grande"), pointSize);
}

void useClearScrollBars(QWidget *widget)
{
    widget->setStyleSheet(widget->styleSheet() + QStringLiteral(
        "QScrollBar:vertical { background: #f4f4f4; width: 12px; margin: 0px; }"
        "QScrollBar:horizontal { background: #f4f4f4; height: 12px; margin: 0px; }"
        "QScrollBar::handle:vertical { background: #a0a0a0; border-radius: 4px; min-height: 24px; margin: 2px; }"
        "QScrollBar::handle:horizontal { background: #a0a0a0; border-radius: 4px; min-width: 24px; margin: 2px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"));
}
