// The e-mail setup command.
#include "shell/EmailSetup.h"

#include <cstdio>

#include "platform/Desktop.h"

namespace kivo {

std::string FormatTestMessage(const std::string& computerName, const std::string& timeText) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "Message sent from system %s.\r\nTIME: %s MESSAGE: Email test completed successfully.",
                computerName.c_str(), timeText.c_str());
  return text;
}

EmailSetupFields FieldsOf(const EmailSettings& settings) {
  EmailSetupFields fields;
  fields.server = settings.Host;
  fields.recipients = settings.ToID;
  fields.senderAddress = settings.FromID;
  fields.senderName = settings.FromName;
  fields.enable = settings.SendEmail;
  return fields;
}

void CopyFields(const EmailSetupFields& fields, EmailSettings& settings) {
  settings.Host = fields.server;
  settings.ToID = fields.recipients;
  settings.FromID = fields.senderAddress;
  settings.FromName = fields.senderName;
  settings.SendEmail = fields.enable;
}

namespace {

bool HoldsLineBreak(const EmailSetupFields& fields) {
  for (const std::string* text :
       {&fields.server, &fields.recipients, &fields.senderAddress, &fields.senderName}) {
    if (text->find_first_of("\r\n") != std::string::npos) return true;
  }
  return false;
}

// One setup at a time on the user-interface thread.
bool setupOpen = false;

class OpenGuard {
 public:
  OpenGuard() { setupOpen = true; }
  ~OpenGuard() { setupOpen = false; }
  OpenGuard(const OpenGuard&) = delete;
  OpenGuard& operator=(const OpenGuard&) = delete;
};

}  // namespace

EmailSetupOutcome OpenEmailSetup(EmailSetupForm& form, EmailSetupFields& settings,
                                 platform::MessageBoxes& boxes, const EmailSetupServices& services) {
  if (setupOpen) return EmailSetupOutcome::AlreadyOpen;
  OpenGuard guard;
  // The test message names the moment the dialog opened.
  const std::string openedAt = services.timeText ? services.timeText() : std::string();
  EmailSetupFields fields = settings;
  for (;;) {
    if (form.Run(fields) != 1) return EmailSetupOutcome::Cancelled;
    // A text of blanks is not empty.
    if (fields.server.empty() || fields.recipients.empty() || fields.senderAddress.empty() ||
        fields.senderName.empty()) {
      boxes.MessageBoxA(true, kEmptyFieldText, kEmailCaption, platform::MB_OK | platform::MB_ICONERROR);
      continue;
    }
    // A line break would end an SMTP command early: refused before storing.
    if (HoldsLineBreak(fields)) {
      boxes.MessageBoxA(true, kLineBreakFieldText, kEmailCaption, platform::MB_OK | platform::MB_ICONERROR);
      continue;
    }
    break;
  }
  settings = fields;
  if (services.save) services.save(settings);
  const int answer = boxes.MessageBoxA(true, kTestQuestionText, kEmailCaption,
                                       platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
  if (answer != platform::IDYES) return EmailSetupOutcome::StoredNotTested;
  const std::string name = services.computerName ? services.computerName() : std::string();
  const int sent = services.send ? services.send(FormatTestMessage(name, openedAt)) : 0;
  if (sent == 1) {
    boxes.MessageBoxA(true, kTestSucceededText, kEmailCaption, platform::MB_OK);
    return EmailSetupOutcome::TestSucceeded;
  }
  boxes.MessageBoxA(true, kTestFailedText, kEmailCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
  return EmailSetupOutcome::TestFailed;
}

}  // namespace kivo
