#pragma once
// An event's time zone as the export describes it: the VTIMEZONE text of
// OPFCalendarEventGetStartTimeZoneICSData, with its standard and daylight rules.
// Converts between UTC and the zone's local time by those rules alone (the zone
// database of the machine plays no part) and writes the zone back as a VTIMEZONE.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

class ZoneRules
{
public:
    // Invalid when the text holds no VTIMEZONE or a rule this reader cannot follow.
    static ZoneRules fromIcs(const QString &icsText);
    // A zone at a fixed distance from UTC, named like "UTC-0700".
    static ZoneRules fixedOffset(int minutes);

    bool isValid() const { return !m_observances.isEmpty(); }
    // The zone database name (X-ENTOURAGE-CFTIMEZONE) where the text gives one, else its TZID;
    // safe as an iCalendar parameter value.
    QString id() const { return m_id; }

    // Local times are QDateTimes whose fields are the wall-clock reading (marked Qt::UTC).
    int offsetSecondsAt(const QDateTime &utc) const;
    QDateTime localTime(const QDateTime &utc) const;
    QDateTime utcTime(const QDateTime &local) const;
    // The day a local midnight written in UTC stands for (all-day events, rule end dates):
    // half a day on, in this zone, is that day even where the zone's rules are off by an hour.
    QDate dayOfMidnight(const QDateTime &utc) const { return localTime(utc).addSecs(12 * 3600).date(); }

    // BEGIN:VTIMEZONE … END:VTIMEZONE with CR LF line ends, built from the rules read.
    QByteArray vtimezone() const;

private:
    struct Observance {
        bool daylight = false;
        QDateTime start; // local
        int offsetFrom = 0, offsetTo = 0; // seconds east of UTC
        QString name;
        bool yearly = false;
        int month = 0;
        int weekOrdinal = 0; // 1 to 5, or -1 to -5 counted from the month's end; 0 with monthDay
        int weekday = 0;     // 1 Monday … 7 Sunday
        int monthDay = 0;
        QDateTime until; // UTC; invalid when the rule runs on
        QDateTime onsetIn(int year) const; // local; invalid when the rule has none that year
    };
    QString m_id;
    QVector<Observance> m_observances;
};

// The rules of a zone text, as ZoneRules::fromIcs reads them. Exports repeat a few zones
// over all their events, and reading one costs more than the rest of an event: the last
// few texts read on this thread are remembered with their rules.
ZoneRules rulesOfZoneText(const QString &icsText);
