#include "MainWindowTestSupport.h"

#include "Exceptions.h"
#include "ZelkCOMLink.h"
#include "ZelkNotResponding.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

namespace zelk::apptest {

void MainWindowTest::SetUp() {
    FOldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", FDataHome.path().toLocal8Bit());
    FRegistry = std::make_unique<zelk::testing::TScopedConnectionRegistry>();
    RegisterZelkCOMLink();
    FSim = std::make_unique<zelk::aesim::TScopedAESimulator>();
    FPreviousHandler = SetShowExceptionHandler([this](const std::exception& e) {
        const auto* own = dynamic_cast<const Exception*>(&e);
        FShown << (own ? own->Message() : QString::fromUtf8(e.what()));
    });
    // The program's question, as TZelkApplication installs it.
    FPreviousNotResponding = zelk::runtime::SetNotRespondingHandler(&AskServerNotResponding);
    FWindow = std::make_unique<TMainForm>();
    FTester = std::make_unique<QAbstractItemModelTester>(
        FWindow->ListModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    FWindow->show();
}

void MainWindowTest::TearDown() {
    FTester.reset();
    FWindow.reset();
    SetShowExceptionHandler(FPreviousHandler);
    zelk::runtime::SetNotRespondingHandler(FPreviousNotResponding);
    // A call given up in a test finishes before the simulator goes.
    (*FSim)->Faults().ReleaseHeld();
    EXPECT_TRUE(zelk::test::WaitUntil([] { return zelk::runtime::RunningCalls() == 0; },
                                      std::chrono::seconds(30)));
    FSim.reset();
    FRegistry.reset();
    if (FOldDataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", FOldDataHome);
}

void MainWindowTest::ConnectWindow() {
    FWindow->ConnectTo(QStringLiteral("Zelk.AESimulator.1"), QString());
    ASSERT_TRUE(FWindow->ZelkEventServer1()->Active());
    // The refresh after connecting ends with an update bracket; the list follows it.
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return FWindow->ListModel()->rowCount() == FWindow->ZelkEventServer1()->Events()->Count();
    }));
}

bool MainWindowTest::WaitRows(int rows, bool AdvanceClock) {
    return zelk::test::WaitUntil([&] {
        if (AdvanceClock)
            (*FSim)->AdvanceClock(100);
        return FWindow->ListModel()->rowCount() == rows;
    });
}

QString MainWindowTest::Cell(int row, int column) const {
    const TZelkAlarmListModel* model = FWindow->ListModel();
    return model->data(model->index(row, column)).toString();
}

int MainWindowTest::RowOf(const QString& source) const {
    for (int row = 0; row < FWindow->ListModel()->rowCount(); ++row)
        if (Cell(row, TZelkAlarmListModel::ColSource) == source)
            return row;
    return -1;
}

QVariant MainWindowTest::RowData(int row, int role) const {
    const TZelkAlarmListModel* model = FWindow->ListModel();
    return model->data(model->index(row, 0), role);
}

QString MainWindowTest::Text(const char* name) const {
    const QString objectName = QString::fromLatin1(name);
    if (const auto* edit = FWindow->findChild<QLineEdit*>(objectName))
        return edit->text();
    if (const auto* label = FWindow->findChild<QLabel*>(objectName))
        return label->text();
    if (const auto* memo = FWindow->findChild<QPlainTextEdit*>(objectName))
        return memo->toPlainText();
    ADD_FAILURE() << "no text control " << name;
    return QString();
}

bool MainWindowTest::Checked(const char* name) const {
    const auto* box = FWindow->findChild<QCheckBox*>(QString::fromLatin1(name));
    EXPECT_NE(box, nullptr) << name;
    return box && box->isChecked();
}

void MainWindowTest::Select(int row) {
    QTreeView* view = FWindow->ListView1();
    view->selectionModel()->setCurrentIndex(FWindow->ListModel()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
}

void MainWindowTest::OnNextModal(std::function<void(QWidget*)> Step) {
    auto* timer = new QTimer(FWindow.get());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(Step)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        step(modal);
    });
    timer->start(20);
}

QStringList MainWindowTest::AckCalls() const {
    QStringList calls;
    for (const zelk::aesim::TSimCall& call :
         (*FSim)->Faults().Calls("IOPCEventServer::AckCondition"))
        calls << call.Arguments;
    return calls;
}

} // namespace zelk::apptest
