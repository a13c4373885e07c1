#pragma once
// Which of a mail's two times stands for it: on the separator line of the saved messages
// and on the preview's Date line. The folder's name decides first
// ("Sent Items", "Inbox", "Deleted Items", "Drafts", compared with case), then the
// outgoing flag or which time is there.
#include "parsers/Records.h"

enum class MailTimeField { None, Sent, Received };

// The separator rule: after the folder names, the outgoing flag (1 sent, 0 received).
MailTimeField separatorTimeField(const MailMLRC &mail);
// The preview's Date line rule: after the folder names, the sent time where there is one, else the received time.
MailTimeField dateLineTimeField(const MailMLRC &mail);
