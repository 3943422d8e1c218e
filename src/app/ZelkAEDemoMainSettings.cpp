// What the main window remembers between two starts: the window's geometry, column widths
// and page, the time display, and the event server's own settings (server, computer,
// filters, sort lines, buffer time, max size, auto-delete, keep-alive) in the toolkit's
// text form. A missing, unreadable or corrupt file never prevents the start: the window
// starts with the defaults and says so in its log.

#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkJournal.h"
#include "ui_ZelkAEDemoMain.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QSettings>

namespace {

QString WindowSettingsFile(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("zelk-ae-client.ini"));
}

QString EventServerSettingsFile(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("ZelkEventServer1.txt"));
}

QString ErrorText(const std::exception& e) {
    const auto* own = dynamic_cast<const Exception*>(&e);
    return own ? own->Message() : QString::fromUtf8(e.what());
}

} // namespace

void TMainForm::LoadSettings() {
    const QString windowFile = WindowSettingsFile(FSettingsFolder);
    const QString serverFile = EventServerSettingsFile(FSettingsFolder);
    QString journal = DefaultJournalUrl();
    // Journaling is on from the first start; an operator who switched it off keeps it off.
    const auto startJournal = [&] {
        try {
            SetJournalUrl(journal);
        } catch (const std::exception& e) {
            AddLine(ui->Memo1, QStringLiteral("journal %1 cannot be used (%2): no journal is kept")
                                   .arg(journal, ErrorText(e)));
        }
    };
    if (!QFileInfo::exists(windowFile) && !QFileInfo::exists(serverFile)) {
        startJournal();
        AddLine(ui->Memo1, QStringLiteral("no settings stored in %1 yet: the defaults are used")
                               .arg(QDir::toNativeSeparators(FSettingsFolder)));
        return;
    }

    QSettings settings(windowFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        AddLine(ui->Memo1, QStringLiteral("settings file %1 could not be read: the window's "
                                          "defaults are used")
                               .arg(QDir::toNativeSeparators(windowFile)));
    } else {
        restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
        ui->ListView1->header()->restoreState(
            settings.value(QStringLiteral("window/columns")).toByteArray());
        const int page = settings.value(QStringLiteral("window/page"), 0).toInt();
        if (page >= 0 && page < ui->PageControl1->count())
            ui->PageControl1->setCurrentIndex(page);
        SetTimeDisplay(settings.value(QStringLiteral("view/utc"), false).toBool()
                           ? TTimeDisplay::Utc
                           : TTimeDisplay::Local);
        journal = settings.value(QStringLiteral("journal/url"), journal).toString();
    }
    startJournal();

    if (!QFileInfo::exists(serverFile))
        return;
    try {
        FServer->LoadFromFile(serverFile);
        ShowReconnectSetting();
    } catch (const std::exception& e) {
        // A file that failed half-way may have changed some settings: all go back.
        FServer->SetActive(false);
        FServer->Filter()->Clear();
        ApplyDefaultServerSettings();
        AddLine(ui->Memo1, QStringLiteral("stored settings %1 could not be read (%2): the "
                                          "defaults are used")
                               .arg(QDir::toNativeSeparators(serverFile), ErrorText(e)));
    }
}

void TMainForm::ReconnectAutomatically1Click() {
    FServer->SetAutoReconnect(ui->ReconnectAutomatically1->isChecked());
}

void TMainForm::ShowReconnectSetting() {
    ui->ReconnectAutomatically1->setChecked(FServer->AutoReconnect());
}

void TMainForm::SaveSettings() {
    QDir().mkpath(FSettingsFolder);
    QSettings settings(WindowSettingsFile(FSettingsFolder), QSettings::IniFormat);
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/columns"), ui->ListView1->header()->saveState());
    settings.setValue(QStringLiteral("window/page"), ui->PageControl1->currentIndex());
    settings.setValue(QStringLiteral("view/utc"), FTimeDisplay == TTimeDisplay::Utc);
    settings.setValue(QStringLiteral("journal/url"), JournalUrl());
    settings.sync();
    // The window closes disconnected (FormDestroy), so the component is stored inactive
    // and a start never connects before the operator asks for it.
    FServer->SaveToFile(EventServerSettingsFile(FSettingsFolder));
}
