#pragma once
// Contacts into a CardDAV address book, events and tasks into a CalDAV calendar: one
// resource per item, named after the UID the standard export gives it, so that a second
// run replaces each resource instead of adding another.
#include "archive/SaveBundle.h"
#include "archive/StableIdentity.h"
#include "upload/ImapUpload.h"

#include <QString>
#include <QStringList>

enum class DavCollection { Contacts, Calendar };

struct DavUploadRequest {
    QString url; // the collection; a user in it (https://USER@HOST/…) goes before the given one
    DavCollection collection = DavCollection::Contacts;
    QString user, password;
    QString caFile;
    bool allowPlain = false; // http:// sends the password in the clear
    QVector<SaveFolder> folders; // the items of the kinds among these
    const TextReader *olm = nullptr;
};

struct DavUploadReport {
    qint64 created = 0;
    qint64 replaced = 0;
    QStringList notUploaded;
    QStringList renamedItems; // items uploaded under another identifier than their own, and why
    QString failure; // why nothing could be uploaded at all
    bool stopped = false;
};

DavUploadReport uploadToDav(const DavUploadRequest &request, const UploadHooks &hooks);

