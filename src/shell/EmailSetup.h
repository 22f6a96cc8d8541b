// EmailSetup: the e-mail setup command. Runs the setup form until its texts
// are complete, stores the values, offers the connectivity test and sends the
// test message. The form, the store and the sender are handed in, so tests
// drive the whole conversation without a display. Used by the main window
// (command 32778).
#pragma once

#include <functional>
#include <string>

#include "mail/SettingsStore.h"

namespace kivo {

namespace platform {
class MessageBoxes;
}

inline constexpr const char* kEmailCaption = "Kivo Disk Managenemt Utility";
inline constexpr const char* kEmptyFieldText = "Empty email parameter field. Please complete all fields.";
inline constexpr const char* kLineBreakFieldText =
    "An email parameter field holds a line break. Please enter each field on one line.";
inline constexpr const char* kTestQuestionText =
    "It is wise to test your email connectability before continuing.\n Please click on \"Yes\" to run the "
    "test, "
    "otherwise, click on \"No\".";
inline constexpr const char* kTestSucceededText = "Email test successful.";
inline constexpr const char* kTestFailedText =
    "Connection failed. Please refer to emaillog.txt for further details.";

// The values the setup form edits: the four texts and the enable flag.
struct EmailSetupFields {
  std::string server;         // Host
  std::string recipients;     // ToID
  std::string senderAddress;  // FromID
  std::string senderName;     // FromName
  int enable = 0;             // SendEmail
};

// The form's values from the main window's settings, and back.
EmailSetupFields FieldsOf(const EmailSettings& settings);
void CopyFields(const EmailSetupFields& fields, EmailSettings& settings);

class EmailSetupForm {
 public:
  virtual ~EmailSetupForm() = default;
  // Runs the form modally over the main window, filled from `fields`; on OK
  // the fields receive what the controls hold. Returns 1 (OK) or 2 (Cancel).
  virtual int Run(EmailSetupFields& fields) = 0;
};

struct EmailSetupServices {
  std::function<std::string()> timeText;      // the current time text
  std::function<std::string()> computerName;  // as the main window shows it
  // Stores the confirmed settings (reporting its own failures).
  std::function<void(const EmailSetupFields&)> save;
  // Sends the test message; 1 when the connection stood, 0 otherwise.
  std::function<int(const std::string&)> send;
};

// "Message sent from system <name>.\r\nTIME: <time> MESSAGE: Email test
// completed successfully.", at most 1023 characters.
std::string FormatTestMessage(const std::string& computerName, const std::string& timeText);

enum class EmailSetupOutcome { Cancelled, StoredNotTested, TestSucceeded, TestFailed, AlreadyOpen };

// `settings` are the main window's in-memory e-mail settings. A text holding
// CR or LF is refused like an empty one, with its own message. The command
// may arrive again (through the command socket, say) while its dialog, a box
// or the test's connect runs the message loop: that call does nothing and
// returns AlreadyOpen.
EmailSetupOutcome OpenEmailSetup(EmailSetupForm& form, EmailSetupFields& settings,
                                 platform::MessageBoxes& boxes, const EmailSetupServices& services);

}  // namespace kivo
