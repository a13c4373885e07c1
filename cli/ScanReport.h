#pragma once
// What a scan found, as text for people and as JSON for scripts.
#include "olm/EntryPath.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

struct DispatchCounts {
    QMap<DocumentKind, qint64> perKind;
};

QString scanSummaryText(const DispatchCounts &dispatched);
QJsonObject scanSummaryJson(const DispatchCounts &dispatched, bool withItems);
