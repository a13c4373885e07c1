#pragma once
// The packed, fixed-width item records. Field widths decide behaviour (a value
// too long for its field leaves it empty), so each width has one named constant
// and code refers to sizeof(field), never to a literal.
#include "parsers/ExportFacts.h"

#include <QtGlobal>

namespace MailWidth {
constexpr int Reserved1 = 8, Reserved2 = 70, FromName = 100, FromAddress = 100,
              ToAddresses = 2050, CcAddresses = 2050, BccAddresses = 2050,
              ReceivedTime = 32, MessageId = 255, Subject = 1024, SentTime = 32,
              SentTime12 = 30, ReceivedTime12 = 30, FolderPath = 1024, Priority = 4,
              ModifiedTime = 32;
}

#pragma pack(push, 1)
struct MailMLRC {
    char Reserved1[MailWidth::Reserved1];
    char Reserved2[MailWidth::Reserved2];
    char FromName[MailWidth::FromName];            // UTF-8 joined list
    char FromAddress[MailWidth::FromAddress];      // Latin-1 joined list
    char ToAddresses[MailWidth::ToAddresses];      // Latin-1 joined list
    char CcAddresses[MailWidth::CcAddresses];      // Latin-1 joined list
    char BccAddresses[MailWidth::BccAddresses];    // UTF-8 joined list
    char ReceivedTime[MailWidth::ReceivedTime];
    char MessageId[MailWidth::MessageId];          // Latin-1
    char Subject[MailWidth::Subject];              // UTF-8
    char SentTime[MailWidth::SentTime];
    char SentTime12[MailWidth::SentTime12];
    char ReceivedTime12[MailWidth::ReceivedTime12];
    char *AttachContentIds;    // owned joined lists; null when the mail has no stored attachments
    char *AttachContentTypes;
    char *AttachNames;         // UTF-8
    char *AttachUrls;
    char *AttachOffsets;
    char *AttachSizes;
    qint64 BodySize;
    qint64 BodyOffset;
    char FolderPath[MailWidth::FolderPath];        // UTF-8
    qint64 ParentId;
    qint32 IsOutgoing;                             // the export's number; kOutgoingMarker for other text
    char Priority[MailWidth::Priority];            // Latin-1
    qint32 PriorityTerminator;                     // zero; ends a four-character priority
    char ModifiedTime[MailWidth::ModifiedTime];    // message date of the last change: the writer's
                                                   // fallback when sent and received time are missing
    MailMLRC *Next;
};

namespace ContactWidth {
constexpr int FirstName = 256, LastName = 256, DisplayName = 256, Title = 118, NameSuffix = 8,
              NickName = 256, Company = 256, JobTitle = 128, Department = 128, Office = 128,
              WorkStreet = 512, WorkCity = 128, WorkState = 128, WorkZip = 32, WorkCountry = 64,
              WorkWebPage = 128, HomeStreet = 256, HomeCity = 256, HomeState = 128, HomeZip = 32,
              HomeCountry = 64, HomeWebPage = 128, HomePhone = 128, HomeFax = 128, WorkPhone = 64,
              WorkFax = 64, Pager = 64, MobilePhone = 64, MainPhone = 64, AssistantPhone = 64,
              CustomPhone = 64, CustomPhoneSlots = 4, Address = 128, AddressSlots = 13,
              CustomField = 64, CustomFieldSlots = 8, CustomDate = 12, Spouse = 256,
              Child = 128, ChildSlots = 3, BloodType = 3, Anniversary = 11, Interests = 128,
              Birthday = 12, Identifier = 33;
}

struct ContactInformation {
    char FirstName[ContactWidth::FirstName];
    char LastName[ContactWidth::LastName];
    char DisplayName[ContactWidth::DisplayName];
    char Title[ContactWidth::Title];
    char NameSuffix[ContactWidth::NameSuffix];
    char NickName[ContactWidth::NickName];
    char Company[ContactWidth::Company];
    char JobTitle[ContactWidth::JobTitle];
    char Department[ContactWidth::Department];
    char Office[ContactWidth::Office];
    char WorkStreet[ContactWidth::WorkStreet];
    char WorkCity[ContactWidth::WorkCity];
    char WorkState[ContactWidth::WorkState];
    char WorkZip[ContactWidth::WorkZip];
    char WorkCountry[ContactWidth::WorkCountry];
    char WorkWebPage[ContactWidth::WorkWebPage];
    char HomeStreet[ContactWidth::HomeStreet];
    char HomeCity[ContactWidth::HomeCity];
    char HomeState[ContactWidth::HomeState];
    char HomeZip[ContactWidth::HomeZip];
    char HomeCountry[ContactWidth::HomeCountry];
    char HomeWebPage[ContactWidth::HomeWebPage];     // Latin-1
    char HomePhone1[ContactWidth::HomePhone];
    char HomePhone2[ContactWidth::HomePhone];
    char HomeFax[ContactWidth::HomeFax];
    char WorkPhone1[ContactWidth::WorkPhone];
    char WorkPhone2[ContactWidth::WorkPhone];
    char WorkFax[ContactWidth::WorkFax];
    char Pager[ContactWidth::Pager];
    char MobilePhone[ContactWidth::MobilePhone];
    char MainPhone[ContactWidth::MainPhone];
    char AssistantPhone[ContactWidth::AssistantPhone];
    char CustomPhone[ContactWidth::CustomPhoneSlots][ContactWidth::CustomPhone];
    char EmailAddresses[ContactWidth::AddressSlots][ContactWidth::Address];  // UTF-8
    char IMAddresses[ContactWidth::AddressSlots][ContactWidth::Address];     // Latin-1
    char CustomFields[ContactWidth::CustomFieldSlots][ContactWidth::CustomField];
    char CustomDate1[ContactWidth::CustomDate];
    char CustomDate2[ContactWidth::CustomDate];
    char *Categories;                                 // owned, UTF-8; null when none
    char Spouse[ContactWidth::Spouse];                // UTF-8, cut at a character boundary
    char Children[ContactWidth::ChildSlots][ContactWidth::Child]; // UTF-8, cut at a character boundary
    char BloodType[ContactWidth::BloodType];          // Latin-1
    char Anniversary[ContactWidth::Anniversary];     // the day entered, whatever the zone
    char Interests[ContactWidth::Interests];          // Latin-1
    char Birthday[ContactWidth::Birthday];           // the day entered, whatever the zone
    char Identifier[ContactWidth::Identifier];
    qint32 Age;
    qint64 NotesSize;      // plain note text left in the .olm file
    qint64 NotesOffset;
    qint64 PictureSize;    // picture text left in the .olm file
    qint64 PictureOffset;
    ContactInformation *Next;
};

namespace CalendarWidth {
constexpr int ModStampUtc = 18, TimeZoneOffset = 7, TimeZoneName = 200, TimeZoneCode = 4,
              AttendeeNames = 256, AttendeeAddresses = 256, Organizer = 256, AllDay = 2,
              FreeBusy = 2, Summary = 256, Location = 256, ModStampLocal = 16,
              ReminderDuration = 145, Start = 25, End = 25, Identifier = 33, StartUtc = 16,
              EndUtc = 16;
}

struct CalenderInformation {
    char ModStampUtc[CalendarWidth::ModStampUtc];
    char TimeZoneOffset[CalendarWidth::TimeZoneOffset];       // Latin-1
    char TimeZoneName[CalendarWidth::TimeZoneName];           // Latin-1
    char TimeZoneCode[CalendarWidth::TimeZoneCode];           // Latin-1
    char AttendeeNames[CalendarWidth::AttendeeNames];         // UTF-8 joined list, cut at a character boundary
    char AttendeeAddresses[CalendarWidth::AttendeeAddresses]; // Latin-1 joined list
    char Organizer[CalendarWidth::Organizer];                 // UTF-8, cut at a character boundary
    char AllDay[CalendarWidth::AllDay];
    char FreeBusy[CalendarWidth::FreeBusy];
    char Summary[CalendarWidth::Summary];                     // UTF-8, entities kept
    char Location[CalendarWidth::Location];                   // UTF-8, entities kept
    char ModStampLocal[CalendarWidth::ModStampLocal];
    char ReminderDuration[CalendarWidth::ReminderDuration];
    char Start[CalendarWidth::Start];
    char End[CalendarWidth::End];
    char Identifier[CalendarWidth::Identifier];
    qint64 DescriptionSize;   // plain description left in the .olm file
    qint64 DescriptionOffset;
    char StartUtc[CalendarWidth::StartUtc]; // compact stamps in UTC, as the export gives them
    char EndUtc[CalendarWidth::EndUtc];
    CalenderInformation *Next;
};

namespace TaskWidth {
constexpr int Name = 256, StartStamp = 16, DueStamp = 17, ReminderStamp = 23, Priority = 8,
              StartDisplay = 22, DueDisplay = 22, Identifier = 33, ModStampUtc = 16,
              ReminderStampUtc = 16;
}

struct TasksInformation {
    char Name[TaskWidth::Name];                     // UTF-8
    char StartStamp[TaskWidth::StartStamp];
    char DueStamp[TaskWidth::DueStamp];
    char ReminderStamp[TaskWidth::ReminderStamp];
    char Priority[TaskWidth::Priority];             // Latin-1
    char StartDisplay[TaskWidth::StartDisplay];
    char DueDisplay[TaskWidth::DueDisplay];
    char Identifier[TaskWidth::Identifier];
    qint64 NoteSize;     // note left in the .olm file
    qint64 NoteOffset;
    char ModStampUtc[TaskWidth::ModStampUtc];           // compact stamps in UTC
    char ReminderStampUtc[TaskWidth::ReminderStampUtc];
    qint64 NotePlainSize;   // the plain-text note left in the .olm file
    qint64 NotePlainOffset;
    TasksInformation *Next;
};

namespace NoteWidth {
constexpr int Title = 256, Identifier = 33, ModStampUtc = 16;
}

struct NotesInformation {
    char Title[NoteWidth::Title];             // UTF-8
    char Identifier[NoteWidth::Identifier];
    qint64 NotesSize;    // note text left in the .olm file
    qint64 NotesOffset;
    char ModStampUtc[NoteWidth::ModStampUtc];  // compact stamp in UTC
    qint64 PlainTextSize;   // the plain-text note left in the .olm file
    qint64 PlainTextOffset;
    NotesInformation *Next;
};
#pragma pack(pop)
