#include "parsers/MailDateRule.h"

#include <cstring>

namespace {
bool folderContains(const MailMLRC &mail, const char *name)
{
    const size_t length = strnlen(mail.FolderPath, sizeof mail.FolderPath);
    return memmem(mail.FolderPath, length, name, strlen(name)) != nullptr;
}

// The rows both rules share; Sent or Received when one of them decides, else None
// with *undecided set, or None for a deleted mail whose flag is neither 0 nor 1.
MailTimeField folderRule(const MailMLRC &mail, bool *undecided)
{
    *undecided = false;
    if (mail.IsOutgoing == kOutgoingMarker || folderContains(mail, "Sent Items"))
        return MailTimeField::Sent;
    if (folderContains(mail, "Inbox"))
        return MailTimeField::Received;
    if (folderContains(mail, "Deleted Items")) {
        if (mail.IsOutgoing == 1)
            return MailTimeField::Sent;
        return mail.IsOutgoing == 0 ? MailTimeField::Received : MailTimeField::None;
    }
    if (folderContains(mail, "Drafts"))
        return MailTimeField::Sent;
    *undecided = true;
    return MailTimeField::None;
}
} // namespace

MailTimeField separatorTimeField(const MailMLRC &mail)
{
    bool undecided = false;
    const MailTimeField field = folderRule(mail, &undecided);
    if (!undecided)
        return field;
    if (mail.IsOutgoing == 1)
        return MailTimeField::Sent;
    return mail.IsOutgoing == 0 ? MailTimeField::Received : MailTimeField::None;
}

MailTimeField dateLineTimeField(const MailMLRC &mail)
{
    bool undecided = false;
    const MailTimeField field = folderRule(mail, &undecided);
    if (!undecided)
        return field;
    if (mail.SentTime[0])
        return MailTimeField::Sent;
    return mail.ReceivedTime[0] ? MailTimeField::Received : MailTimeField::None;
}
