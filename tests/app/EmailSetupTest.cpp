// E-mail setup: the empty-field loop, storing before the test question, the
// question's answers, the test message and its time of opening, the outcome
// boxes; and the dialog itself (layout, tab order, data exchange).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <deque>

#include "AppTestSupport.h"
#include "shell/EmailSetup.h"
#include "ui/EmailSetupDialog.h"

namespace kivo {
namespace {

// Plays the user at the form: each run shows what it was given and returns
// the next scripted edit and button.
class ScriptedForm : public EmailSetupForm {
 public:
  struct Step {
    std::function<void(EmailSetupFields&)> edit;
    int button;
  };
  int Run(EmailSetupFields& fields) override {
    shown.push_back(fields);
    if (steps.empty()) return 2;
    Step step = steps.front();
    steps.pop_front();
    if (step.button == 1 && step.edit) step.edit(fields);
    return step.button;
  }
  std::deque<Step> steps;
  std::vector<EmailSetupFields> shown;
};

struct Harness {
  EmailSetupServices Services() {
    EmailSetupServices services;
    services.timeText = [this] {
      ++timeReads;
      return clockText;
    };
    services.computerName = [] { return std::string("ARRAYHOST"); };
    services.save = [this](const EmailSetupFields& fields) {
      saved.push_back(fields);
      events.push_back("save");
    };
    services.send = [this](const std::string& message) {
      sent.push_back(message);
      events.push_back("send");
      return sendResult;
    };
    return services;
  }
  std::string clockText = "Sun Sep 09 01:46:40 2001";
  int timeReads = 0;
  int sendResult = 1;
  std::vector<EmailSetupFields> saved;
  std::vector<std::string> sent;
  std::vector<std::string> events;
};

void FillAll(EmailSetupFields& f) {
  f.server = "mail.example.org";
  f.recipients = "ops@example.org;lead@example.org";
  f.senderAddress = "kivo@example.org";
  f.senderName = "Kivo";
}

TEST(EmailSetupTest, TestMessageText) {
  EXPECT_EQ(
      FormatTestMessage("ARRAYHOST", "Sun Sep 09 01:46:40 2001"),
      "Message sent from system ARRAYHOST.\r\nTIME: Sun Sep 09 01:46:40 2001 MESSAGE: Email test completed "
      "successfully.");
  // Bounded at 1023 characters.
  EXPECT_EQ(FormatTestMessage(std::string(2000, 'n'), "t").size(), 1023u);
}

TEST(EmailSetupTest, EmptyServerShowsTheErrorAndTheDialogAgainAsTyped) {
  ScriptedForm form;
  form.steps.push_back({[](EmailSetupFields& f) {
                          FillAll(f);
                          f.server.clear();
                        },
                        1});
  form.steps.push_back({nullptr, 2});
  EmailSetupFields settings;
  test::RecordingBoxes boxes;
  Harness h;
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::Cancelled);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Empty email parameter field. Please complete all fields.");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_OK | platform::MB_ICONERROR);
  EXPECT_EQ(boxes.shown[0].caption, "Kivo Disk Managenemt Utility");
  ASSERT_EQ(form.shown.size(), 2u);
  EXPECT_EQ(form.shown[1].recipients, "ops@example.org;lead@example.org");
  EXPECT_EQ(form.shown[1].server, "");
  EXPECT_TRUE(h.saved.empty());  // nothing stored
  EXPECT_EQ(settings.recipients, "");
}

TEST(EmailSetupTest, EachEmptyFieldIsRefusedButBlanksAreNot) {
  using Edit = void (*)(EmailSetupFields&);
  const Edit empties[] = {
      [](EmailSetupFields& f) { f.recipients.clear(); },
      [](EmailSetupFields& f) { f.senderAddress.clear(); },
      [](EmailSetupFields& f) { f.senderName.clear(); },
  };
  for (Edit empty : empties) {
    ScriptedForm form;
    form.steps.push_back({[empty](EmailSetupFields& f) {
                            FillAll(f);
                            empty(f);
                          },
                          1});
    EmailSetupFields settings;
    test::RecordingBoxes boxes;
    Harness h;
    OpenEmailSetup(form, settings, boxes, h.Services());
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown[0].text, kEmptyFieldText);
    EXPECT_TRUE(h.saved.empty());
  }
  ScriptedForm form;
  form.steps.push_back({[](EmailSetupFields& f) {
                          FillAll(f);
                          f.senderName = " ";
                        },
                        1});
  EmailSetupFields settings;
  test::RecordingBoxes boxes;
  boxes.answers = {platform::IDNO};
  Harness h;
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::StoredNotTested);
  EXPECT_EQ(settings.senderName, " ");
}

TEST(EmailSetupTest, AFieldHoldingALineBreakIsRefusedAndNothingStored) {
  for (std::string EmailSetupFields::*field :
       {&EmailSetupFields::server, &EmailSetupFields::recipients, &EmailSetupFields::senderAddress,
        &EmailSetupFields::senderName}) {
    ScriptedForm form;
    form.steps.push_back({[field](EmailSetupFields& f) {
                            FillAll(f);
                            f.*field += "\r\nRCPT TO:<other@example.org>";
                          },
                          1});
    EmailSetupFields settings;
    test::RecordingBoxes boxes;
    Harness h;
    EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::Cancelled);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kLineBreakFieldText);
    EXPECT_EQ(form.shown.size(), 2u) << "the dialog again, as typed";
    EXPECT_TRUE(h.saved.empty());
  }
}

TEST(EmailSetupTest, NoKeepsTheValuesStoredWithoutAConnection) {
  ScriptedForm form;
  form.steps.push_back({[](EmailSetupFields& f) {
                          FillAll(f);
                          f.enable = 0;
                        },
                        1});
  EmailSetupFields settings;
  settings.enable = 1;
  test::RecordingBoxes boxes;
  boxes.answers = {platform::IDNO};
  Harness h;
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::StoredNotTested);
  ASSERT_EQ(h.saved.size(), 1u);
  EXPECT_EQ(h.saved[0].enable, 0);
  EXPECT_EQ(h.saved[0].server, "mail.example.org");
  EXPECT_EQ(settings.server, "mail.example.org");
  EXPECT_TRUE(h.sent.empty());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(
      boxes.shown[0].text,
      "It is wise to test your email connectability before continuing.\n Please click on \"Yes\" to run the "
      "test, otherwise, click on \"No\".");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
}

TEST(EmailSetupTest, YesSendsTheTestMessageNamingTheTimeOfOpening) {
  ScriptedForm form;
  Harness h;
  form.steps.push_back({[&h](EmailSetupFields& f) {
                          FillAll(f);
                          // Minutes pass while the user types.
                          h.clockText = "Sun Sep 09 01:55:00 2001";
                        },
                        1});
  EmailSetupFields settings;
  test::RecordingBoxes boxes;
  boxes.answers = {platform::IDYES, platform::IDOK};
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::TestSucceeded);
  EXPECT_EQ(h.timeReads, 1);
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(
      h.sent[0],
      "Message sent from system ARRAYHOST.\r\nTIME: Sun Sep 09 01:46:40 2001 MESSAGE: Email test completed "
      "successfully.");
  EXPECT_EQ(h.events, (std::vector<std::string>{"save", "send"}));  // stored before the test
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "Email test successful.");
  EXPECT_EQ(boxes.shown[1].type, platform::MB_OK);
}

TEST(EmailSetupTest, FailedConnectionPointsAtTheLog) {
  ScriptedForm form;
  form.steps.push_back({FillAll, 1});
  EmailSetupFields settings;
  test::RecordingBoxes boxes;
  boxes.answers = {platform::IDYES};
  Harness h;
  h.sendResult = 0;
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::TestFailed);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "Connection failed. Please refer to emaillog.txt for further details.");
  EXPECT_EQ(boxes.shown[1].type, platform::MB_OK | platform::MB_ICONEXCLAMATION);
  EXPECT_EQ(h.saved.size(), 1u);  // the values stay stored whatever the outcome
}

TEST(EmailSetupTest, CancelStoresNothingAndTheFormShowsTheCurrentSettings) {
  ScriptedForm form;
  form.steps.push_back({nullptr, 2});
  EmailSetupFields settings;
  FillAll(settings);
  settings.enable = 1;
  test::RecordingBoxes boxes;
  Harness h;
  EXPECT_EQ(OpenEmailSetup(form, settings, boxes, h.Services()), EmailSetupOutcome::Cancelled);
  ASSERT_EQ(form.shown.size(), 1u);
  EXPECT_EQ(form.shown[0].server, "mail.example.org");
  EXPECT_EQ(form.shown[0].enable, 1);
  EXPECT_TRUE(h.saved.empty());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(EmailSetupDialogTest, TemplateLayoutAndTabOrder) {
  EmailSetupDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Email Setup"));
  // Controls in dialog-unit proportion: the edits share a column right of the
  // labels, OK left of Cancel on one row.
  EXPECT_EQ(dialog.ServerEdit()->x(), dialog.RecipientsEdit()->x());
  EXPECT_LT(dialog.ServerEdit()->y(), dialog.RecipientsEdit()->y());
  EXPECT_LT(dialog.SenderEdit()->y(), dialog.NameEdit()->y());
  EXPECT_EQ(dialog.OkButton()->y(), dialog.CancelButton()->y());
  EXPECT_LT(dialog.OkButton()->x(), dialog.CancelButton()->x());
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  EXPECT_GT(dialog.width(), dialog.height());  // 228 x 159 units
  EXPECT_EQ(dialog.EnableBox()->text(), QStringLiteral("Enable email notification."));
  QWidget* order[] = {dialog.ServerEdit(), dialog.RecipientsEdit(), dialog.SenderEdit(),  dialog.NameEdit(),
                      dialog.EnableBox(),  dialog.OkButton(),       dialog.CancelButton()};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    // Labels sit in the chain too but take no focus.
    QWidget* next = order[i]->nextInFocusChain();
    while (next != nullptr && (next->focusPolicy() & Qt::TabFocus) == 0) next = next->nextInFocusChain();
    EXPECT_EQ(next, order[i + 1]) << i;
  }
}

TEST(EmailSetupDialogTest, LabelsAreShownWholeLeftOfTheEdits) {
  EmailSetupDialog dialog;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
        << label->text().toStdString();
    EXPECT_LT(label->x() + label->width(), dialog.ServerEdit()->x()) << label->text().toStdString();
  }
}

TEST(EmailSetupDialogTest, DataExchangeBothWays) {
  EmailSetupDialog dialog;
  EmailSetupFields in;
  FillAll(in);
  in.enable = 1;
  dialog.Load(in);
  EXPECT_EQ(dialog.ServerEdit()->text(), QStringLiteral("mail.example.org"));
  EXPECT_TRUE(dialog.EnableBox()->isChecked());
  dialog.NameEdit()->setText(QStringLiteral("Night shift"));
  dialog.EnableBox()->setChecked(false);
  EmailSetupFields out;
  dialog.Store(out);
  EXPECT_EQ(out.senderName, "Night shift");
  EXPECT_EQ(out.recipients, in.recipients);
  EXPECT_EQ(out.enable, 0);
}

TEST(EmailSetupDialogTest, FormRunsTheDialogModallyAndReadsTheControlsOnOk) {
  EmailSetupDialogForm form(nullptr);
  EmailSetupFields fields;
  FillAll(fields);
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<EmailSetupDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->ServerEdit()->setText(QStringLiteral("10.0.0.25"));
    dialog->OkButton()->click();
  });
  EXPECT_EQ(form.Run(fields), 1);
  EXPECT_EQ(fields.server, "10.0.0.25");
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<EmailSetupDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->ServerEdit()->setText(QStringLiteral("discarded"));
    dialog->CancelButton()->click();
  });
  EXPECT_EQ(form.Run(fields), 2);
  EXPECT_EQ(fields.server, "10.0.0.25");
}

}  // namespace
}  // namespace kivo
