#include "ui/compile_chm_dialog.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "support/fake_chm_compiler.h"
#include "support/scoped_env.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "support/ui_test_registry.h"

using testing_support::ScopedEnv;
using testing_support::Script;
using testing_support::ScriptedPrompts;
using testing_support::TempFolder;
using testing_support::WriteFile;

class CCompileChmDialogTest : public QObject {
    Q_OBJECT

private slots:
    void buildEndsWithItsMessage_data();
    void buildEndsWithItsMessage();
};

void CCompileChmDialogTest::buildEndsWithItsMessage_data() {
    QTest::addColumn<QString>("compiler");
    QTest::addColumn<bool>("pages");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("written");
    QTest::newRow("compiled") << "succeeding" << true << QStringList{} << true;
    QTest::newRow("no page") << "succeeding" << false << QStringList{"No file to compile!"}
                             << false;
    QTest::newRow("no compiler") << "missing" << true << QStringList{"Can't load the compiler!"}
                                 << false;
    QTest::newRow("compiler fails")
        << "failing" << true << QStringList{"Error compiling the files!"} << false;
}

void CCompileChmDialogTest::buildEndsWithItsMessage() {
    QFETCH(QString, compiler);
    QFETCH(bool, pages);
    QFETCH(QStringList, messages);
    QFETCH(bool, written);
    TempFolder folder;
    std::string program = folder.File("missing.sh");
    if (compiler == "succeeding") {
        program = testing_support::WriteSucceedingCompiler(folder);
    } else if (compiler == "failing") {
        program = testing_support::WriteFakeCompiler(folder, "failing.sh", "exit 1\n");
    }
    const ScopedEnv compilerEnv("TARNWICK_CHM_COMPILER", program.c_str());
    const std::filesystem::path download = folder.Path() / "site.files";
    std::filesystem::create_directories(download / "example.com");
    if (pages) {
        WriteFile((download / "example.com/index.htm").string(), "<title>Home</title>");
    }
    CChmRequest request;
    request.downloadFolder = CFilePath(download.string() + "/");
    QVERIFY(request.startUrl.Parse("http://example.com/"));
    request.startStoredPath = "example.com/index.htm";
    request.target = CFilePath(folder.File("site.chm"));

    Script script;
    ScriptedPrompts prompts(script);
    CCompileChmDialog dialog(prompts, nullptr);
    // A failed build leaves the dialog open until the user cancels it.
    QTimer cancel;
    connect(&cancel, &QTimer::timeout, &dialog, [&] {
        if (!script.messages.isEmpty() && dialog.isVisible()) {
            dialog.reject();
        }
    });
    cancel.start(50);
    QCOMPARE(dialog.Run(request), written);
    QCOMPARE(script.messages, messages);
    QCOMPARE(script.questions,
             messages.isEmpty() ? QStringList{} : QStringList{"Cancel file compiling?"});
    QCOMPARE(std::filesystem::exists(folder.File("site.chm")), written);
}

TARNWICK_UI_TEST(CCompileChmDialogTest);
#include "compile_chm_dialog_test.moc"
