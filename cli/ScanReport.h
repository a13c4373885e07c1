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
// {"mails": n, "contacts": n, "calendars": n, "tasks": n, "notes": n}: the items the scan holds.
QJsonObject itemCountsJson();
// "losses": [{"reason", "kind", "item", "folder", "field", "why"}] for every kept entry of
// the account of losses, and "lossCounts": {reason: n} counting every loss, kept or not.
void addLossAccount(QJsonObject *report);
QJsonObject scanSummaryJson(const DispatchCounts &dispatched, bool withItems);
