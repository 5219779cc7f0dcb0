#pragma once
// Steps 4 and 5: what will be done (confirmation) and what is being done
// (the manual upgrade running): target, versions, notice, stage, settings
// choice and the progress bar.

#include <QString>

#include <memory>
#include <string>

#include "ui/WizardPage.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;

namespace qrv {

class ProgressBarSink;
class ProgressSink;

class ManualProgressPage : public WizardPage {
    Q_OBJECT
public:
    static constexpr int kProgressRange = 6000;

    explicit ManualProgressPage(OwnerPort& owner, QWidget* parent = nullptr);
    ~ManualProgressPage() override;

    void SetAddressText(const std::u16string& text);
    void SetCurrentVersion(const std::u16string& text);
    void SetNewVersion(const std::u16string& text);
    void SetNotice(const std::u16string& text);
    // The stage line; codes without a text of their own leave it as it was.
    void SetStage(int stage);
    void ResetProgress();
    void SetSetupData(bool retain, bool backup);

    // The bar as the upgrade job moves it (from any thread).
    ProgressSink& Progress();

    QString AddressText() const;
    QString CurrentVersion() const;
    QString NewVersion() const;
    QString Notice() const;
    QString StageText() const;
    QString SetupDataText() const;
    QProgressBar* Bar() const { return bar_; }

private:
    QLineEdit* address_;
    QLineEdit* currentVersion_;
    QLineEdit* newVersion_;
    QLineEdit* notice_;
    QLineEdit* stage_;
    QLineEdit* setupData_;
    QProgressBar* bar_;
    std::unique_ptr<ProgressBarSink> sink_;
};

// Step 6: the result of the manual upgrade.
class ResultPage : public WizardPage {
    Q_OBJECT
public:
    explicit ResultPage(OwnerPort& owner, QWidget* parent = nullptr);

    void SetAddressText(const std::u16string& text);
    // Drops the "ver" prefix and completes the success text with the version.
    void SetResultVersion(const std::u16string& version);

    QString AddressText() const;
    QString ResultText() const;
    QProgressBar* Bar() const { return bar_; }

private:
    void SetResultText(const QString& text);

    QLineEdit* address_;
    QPlainTextEdit* result_;
    QProgressBar* bar_;
};

// The look both pages share: range 0..6000 in the program's bar colour.
void StyleProgressBar(QProgressBar* bar);

}  // namespace qrv
