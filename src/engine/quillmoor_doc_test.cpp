#include "engine/quillmoor_doc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "base/url.h"
#include "engine/download_task.h"
#include "engine/program_options.h"
#include "support/crawl_window.h"
#include "support/failing_stdio.h"
#include "support/memory_stream.h"
#include "support/parsed_url.h"
#include "support/scripted_worker.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ParsedUrl;
using Error = CQuillmoorDoc::LoadError;
using testing_support::MemoryStream;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
namespace fs = std::filesystem;

void FillSettings(CProjectSettings& settings, const std::string& start = "http://a.h.x/") {
    settings.SetStartUrl(ParsedUrl(start));
    settings.SetThreadCount(3);
    settings.SetCredentials("walker", "pa55-in-plain");
}

std::string SettingsBytes(const std::string& storedFolder = "", std::int32_t threads = 3) {
    CProjectSettings settings;
    FillSettings(settings);
    settings.SetThreadCount(threads);
    settings.SetFolders("", storedFolder);
    MemoryStream stream;
    settings.Store(stream);
    return stream.Bytes();
}

std::string Header(const std::string& product = "Tarnwick", const std::string& version = "1.0",
                   const std::string& section = "PROJECT_INFO") {
    MemoryStream stream;
    stream << product << version << section;
    return stream.Bytes();
}

// A manager section as a crawl leaves it when it is saved in mid-course: one
// interrupted task and a list of three entries, the first saved, with the
// cursor after the second.
std::string ManagerSection(std::int32_t state) {
    MemoryStream stream;
    stream << std::string_view("MANAGER_INFO") << state << std::uint32_t{1};
    CDownloadTask task;
    task.item = CLinkItem(ParsedUrl("http://a.h.x/big.zip"), 1, true);
    task.localPath = "/dl/a.h.x/big.zip";
    task.storedPath = "a.h.x/big.zip";
    task.bytesReceived = 4096;
    task.resultCode = ERR_ATTEMPT_INTERRUPTED;
    task.Store(stream);
    CDownloadList list;
    list.Add(CLinkItem(ParsedUrl("http://a.h.x/"), 0, true));
    list.Add(CLinkItem(ParsedUrl("http://a.h.x/big.zip"), 1, true));
    list.Add(CLinkItem(ParsedUrl("http://a.h.x/next.html"), 1, true));
    list.MarkDone(ParsedUrl("http://a.h.x/"), "a.h.x/index.htm", 1700000000, 512);
    CLinkItem item;
    list.Next(item);
    list.Next(item);
    list.Store(stream);
    return stream.Bytes();
}

std::string ProjectBytes(std::int32_t state = Paused) {
    return Header() + SettingsBytes("a_h_x.files") + ManagerSection(state);
}

class QuillmoorDocTest : public testing::Test {
protected:
    std::string Stored(CQuillmoorDoc& doc) {
        MemoryStream stream;
        doc.Store(stream);
        return stream.Bytes();
    }
    Error LoadBytes(const std::string& bytes) {
        MemoryStream stream(bytes);
        return m_doc.Load(stream);
    }
    std::string Path(const std::string& name) const { return m_temp.File(name); }

    TempFolder m_temp;
    CQuillmoorDoc m_doc{nullptr};
};

TEST_F(QuillmoorDocTest, LoadsAndStoresTheExactLayout) {
    const std::string bytes = ProjectBytes(Paused);
    ASSERT_EQ(LoadBytes(bytes), Error::None);
    EXPECT_EQ(m_doc.GetController().GetState(), Paused);
    CDownloadManager& manager = *m_doc.GetController().GetManager();
    EXPECT_EQ(manager.GetRetryCount(), 1u);
    EXPECT_EQ(manager.GetList().GetCount(), 3u);
    EXPECT_EQ(manager.GetList().GetStats().requested, 2u);
    EXPECT_EQ(manager.GetList().GetStoredPath(ParsedUrl("http://a.h.x/")), "a.h.x/index.htm");
    EXPECT_EQ(Stored(m_doc), bytes);
    EXPECT_NE(bytes.find(std::string("pa55-in-plain") + '\0'), std::string::npos);
}

TEST_F(QuillmoorDocTest, ACrawlSavedWhileRunningComesBackPaused) {
    ASSERT_EQ(LoadBytes(ProjectBytes(Running)), Error::None);
    EXPECT_EQ(m_doc.GetController().GetState(), Paused);
    EXPECT_EQ(Stored(m_doc), ProjectBytes(Paused));
}

TEST_F(QuillmoorDocTest, AProjectWithoutCrawlReopensStoppedWithAnEmptyList) {
    ASSERT_EQ(LoadBytes(Header() + SettingsBytes()), Error::None);
    EXPECT_EQ(m_doc.GetController().GetState(), Stopped);
    ASSERT_TRUE(m_doc.GetController().HasManager());
    EXPECT_EQ(m_doc.GetController().GetManager()->GetList().GetCount(), 0u);
    // The fresh manager is part of the project from now on.
    EXPECT_EQ(Stored(m_doc), Header() + SettingsBytes() + "MANAGER_INFO" + '\0' +
                                 std::string("\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
}

struct LoadErrorCase {
    const char* name;
    std::string bytes;
    Error error;
};

TEST_F(QuillmoorDocTest, RefusesFilesItCannotReadWithTheirMessage) {
    const LoadErrorCase cases[] = {
        {"another product", Header("Quillmoor") + SettingsBytes(), Error::UnexpectedFormat},
        {"product in other case", Header("tarnwick") + SettingsBytes(), Error::UnexpectedFormat},
        {"product tag missing", Header("1.0", "PROJECT_INFO", "").substr(0, 17) + SettingsBytes(),
         Error::UnexpectedFormat},
        {"no terminated tag", std::string(3000, 'T'), Error::UnexpectedFormat},
        {"version 1.1", Header("Tarnwick", "1.1") + SettingsBytes(), Error::IncompatibleVersion},
        {"no version", Header("Tarnwick", "PROJECT_INFO", ""), Error::IncompatibleVersion},
        {"section tag missing", Header("Tarnwick", "1.0", "") + SettingsBytes(), Error::OpenFailed},
        {"other section", Header("Tarnwick", "1.0", "MANAGER_INFO") + SettingsBytes(),
         Error::OpenFailed},
        {"no threads", Header() + SettingsBytes("", 0), Error::OpenFailed},
        {"17 threads", Header() + SettingsBytes("", 17), Error::OpenFailed},
        {"state 0", Header() + SettingsBytes() + ManagerSection(0), Error::OpenFailed},
        {"state 4", Header() + SettingsBytes() + ManagerSection(4), Error::OpenFailed},
        {"state -1", Header() + SettingsBytes() + ManagerSection(-1), Error::OpenFailed},
    };
    ASSERT_EQ(LoadBytes(ProjectBytes()), Error::None);
    const std::string loaded = Stored(m_doc);
    for (const LoadErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadBytes(c.bytes), c.error);
        // A failed load leaves the document as it was.
        EXPECT_EQ(Stored(m_doc), loaded);
    }
    EXPECT_STREQ(CQuillmoorDoc::GetLoadErrorMessage(Error::UnexpectedFormat),
                 "Unexpected file format.");
    EXPECT_STREQ(CQuillmoorDoc::GetLoadErrorMessage(Error::IncompatibleVersion),
                 "Incompatible file version");
    EXPECT_STREQ(CQuillmoorDoc::GetLoadErrorMessage(Error::OpenFailed), "Failed to open document.");
}

TEST_F(QuillmoorDocTest, EveryTruncationOfARealProjectFileIsRefused) {
    const std::string path = Path("cut.tkp");
    {
        CQuillmoorDoc written(nullptr);
        WriteFile(path, ProjectBytes());
        ASSERT_TRUE(written.OpenDocument(path));
        ASSERT_TRUE(written.Save());
    }
    const std::string full = ReadFile(path);
    // The one length at which the rest is a whole project of its own: the
    // settings of a project that never crawled. Opened beside no folder of
    // its own, the project took one named after the file.
    const std::string settings = Header() + SettingsBytes("cut.files");
    const std::size_t settingsEnd = settings.size();
    ASSERT_EQ(full.substr(0, settingsEnd), settings);
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        WriteFile(path, full.substr(0, length));
        CQuillmoorDoc doc(nullptr);
        if (length == settingsEnd) {
            ASSERT_TRUE(doc.OpenDocument(path));
            EXPECT_EQ(doc.GetController().GetManager()->GetList().GetCount(), 0u);
            continue;
        }
        ASSERT_FALSE(doc.OpenDocument(path));
        EXPECT_FALSE(doc.IsOpen());
        EXPECT_EQ(doc.GetLoadError(), length == 0 ? Error::OpenFailed : Error::UnexpectedFormat);
    }
}

TEST_F(QuillmoorDocTest, OpenRefusesWhatIsNoProjectFile) {
    WriteFile(Path("empty.tkp"), "");
    fs::create_directory(Path("folder.tkp"));
    for (const char* name : {"empty.tkp", "folder.tkp", "missing.tkp"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(m_doc.OpenDocument(Path(name)));
        EXPECT_EQ(m_doc.GetLoadError(), Error::OpenFailed);
        EXPECT_FALSE(m_doc.IsOpen());
    }
}

TEST_F(QuillmoorDocTest, AFileThatOpensButCannotBeReadIsRefused) {
    WriteFile(Path("p.tkp"), ProjectBytes());
    const testing_support::FailingFdopen failing;
    EXPECT_FALSE(m_doc.OpenDocument(Path("p.tkp")));
    EXPECT_EQ(m_doc.GetLoadError(), Error::OpenFailed);
}

struct FolderCase {
    const char* name;
    std::vector<std::string> existingFolders;
    std::vector<std::string> existingFiles;
    const char* expected;
};

TEST_F(QuillmoorDocTest, NewProjectDownloadsIntoTheFirstFreeFolderBesideIt) {
    const FolderCase cases[] = {
        {"free", {}, {}, "a_h_x.files"},
        {"taken", {"a_h_x.files"}, {}, "a_h_x_1.files"},
        {"taken by a file", {"a_h_x.files"}, {"a_h_x_1.files"}, "a_h_x_2.files"},
    };
    CProjectSettings settings;
    FillSettings(settings);
    EXPECT_EQ(CQuillmoorDoc::ProposeFileName(settings.GetStartUrl()), "a_h_x");
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        for (const std::string& folder : c.existingFolders) {
            fs::create_directory(temp.File(folder));
        }
        for (const std::string& file : c.existingFiles) {
            WriteFile(temp.File(file), "x");
        }
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.NewProject(temp.File("a_h_x.tkp"), settings));
        EXPECT_EQ(doc.GetTitle(), "a_h_x");
        EXPECT_EQ(doc.GetSettings().GetDownloadFolder(), temp.File(c.expected));
        EXPECT_EQ(doc.GetSettings().GetStoredFolder(), c.expected);
        EXPECT_EQ(doc.GetController().GetState(), Stopped);
        EXPECT_EQ(ReadFile(temp.File("a_h_x.tkp")), Header() + SettingsBytes());
    }
}

TEST_F(QuillmoorDocTest, MovingTheProjectWithItsFolderKeepsTheDownloads) {
    CProjectSettings settings;
    FillSettings(settings);
    ASSERT_TRUE(m_doc.NewProject(Path("a_h_x.tkp"), settings));
    fs::create_directory(Path("a_h_x_1.files"));  // taken meanwhile by someone else
    fs::create_directory(m_doc.GetSettings().GetDownloadFolder());
    WriteFile(m_doc.GetSettings().GetDownloadFolder() + "/kept.htm", "kept");
    ASSERT_TRUE(m_doc.Save());

    fs::create_directory(Path("moved"));
    fs::rename(Path("a_h_x.tkp"), Path("moved/renamed.tkp"));
    fs::rename(Path("a_h_x.files"), Path("moved/a_h_x.files"));
    CQuillmoorDoc moved(nullptr);
    ASSERT_TRUE(moved.OpenDocument(Path("moved/renamed.tkp")));
    EXPECT_EQ(moved.GetSettings().GetDownloadFolder(), Path("moved/a_h_x.files"));
    EXPECT_EQ(ReadFile(moved.GetSettings().GetDownloadFolder() + "/kept.htm"), "kept");

    // Without its folder the project gets a new one named after it.
    fs::rename(Path("moved/renamed.tkp"), Path("alone.tkp"));
    CQuillmoorDoc alone(nullptr);
    ASSERT_TRUE(alone.OpenDocument(Path("alone.tkp")));
    EXPECT_EQ(alone.GetSettings().GetDownloadFolder(), Path("alone.files"));
    EXPECT_EQ(alone.GetSettings().GetStoredFolder(), "alone.files");
}

TEST_F(QuillmoorDocTest, AStoredFolderOutsideTheProjectsFolderIsNotFollowed) {
    // The project lies in "project/"; each stored folder names an existing
    // folder outside it.
    fs::create_directories(Path("project"));
    fs::create_directories(Path("elsewhere/x"));
    for (const std::string& stored :
         {Path("elsewhere"), std::string(".."), std::string("../elsewhere/x"),
          std::string("..\\elsewhere"), std::string("./../elsewhere")}) {
        SCOPED_TRACE(stored);
        WriteFile(Path("project/p.tkp"), Header() + SettingsBytes(stored));
        CQuillmoorDoc doc(nullptr);
        ASSERT_TRUE(doc.OpenDocument(Path("project/p.tkp")));
        EXPECT_EQ(doc.GetSettings().GetDownloadFolder(), Path("project/p.files"));
        EXPECT_EQ(doc.GetSettings().GetStoredFolder(), "p.files");
    }
}

TEST_F(QuillmoorDocTest, ASaveRemovesTheTemporaryFileOfAKilledSave) {
    CProjectSettings settings;
    FillSettings(settings);
    ASSERT_TRUE(m_doc.NewProject(Path("a_h_x.tkp"), settings));
    const std::string left = Path(".a_h_x.tkp.Q7x2Lp");
    WriteFile(left, "half a project");
    fs::last_write_time(left, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    ASSERT_TRUE(m_doc.Save());
    EXPECT_FALSE(fs::exists(left));
}

TEST_F(QuillmoorDocTest, AFailedSaveKeepsTheOldFileAndTheModifiedFlag) {
    CProjectSettings settings;
    FillSettings(settings);
    ASSERT_TRUE(m_doc.NewProject(Path("a_h_x.tkp"), settings));
    const std::string before = ReadFile(Path("a_h_x.tkp"));
    // A name the file could store but never read back.
    m_doc.GetSettings().SetCredentials(std::string(1024, 'u'), "p");
    EXPECT_FALSE(m_doc.Save());
    EXPECT_TRUE(m_doc.IsModified());
    EXPECT_EQ(ReadFile(Path("a_h_x.tkp")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_temp.Path()), fs::directory_iterator()), 1);
}

TEST_F(QuillmoorDocTest, SaveModifiedAsksOnlyForChangesAndFollowsTheAnswer) {
    CProjectSettings settings;
    FillSettings(settings);
    ASSERT_TRUE(m_doc.NewProject(Path("a_h_x.tkp"), settings));
    int asked = 0;
    auto answer = [&](CQuillmoorDoc::SaveAnswer reply) {
        return [&asked, reply](const std::string& prompt) {
            ++asked;
            EXPECT_EQ(prompt, "Save changes to a_h_x.tkp?");
            return reply;
        };
    };
    EXPECT_TRUE(m_doc.SaveModified(answer(CQuillmoorDoc::SaveAnswer::Cancel)));
    EXPECT_EQ(asked, 0);

    m_doc.SetModifiedFlag(true);
    EXPECT_FALSE(m_doc.SaveModified(answer(CQuillmoorDoc::SaveAnswer::Cancel)));
    EXPECT_TRUE(m_doc.SaveModified(answer(CQuillmoorDoc::SaveAnswer::No)));
    EXPECT_TRUE(m_doc.IsModified());
    const std::string before = ReadFile(Path("a_h_x.tkp"));
    EXPECT_TRUE(m_doc.SaveModified(answer(CQuillmoorDoc::SaveAnswer::Yes)));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(m_doc.IsModified());
    // Saving after opening writes the chosen folder and the crawl section.
    EXPECT_NE(ReadFile(Path("a_h_x.tkp")), before);
    CQuillmoorDoc reopened(nullptr);
    ASSERT_TRUE(reopened.OpenDocument(Path("a_h_x.tkp")));
    EXPECT_EQ(reopened.GetSettings().GetStoredFolder(), "a_h_x.files");
}

// The program is gone before it saved: what the reopened project holds must be
// what the running one held, save for the state of the crawl's threads.
TEST_F(QuillmoorDocTest, ACrawlReopensAsItStoodWhenItsProgramEndedUnsaved) {
    struct Case {
        const char* name;
        bool saveWhileRunning;
        ProjectRunState left;
    };
    for (const Case c : {Case{"crawled to its end", false, Stopped},
                         Case{"saved while running, then paused", true, Paused}}) {
        SCOPED_TRACE(c.name);
        testing_support::ScriptedSite site;
        site.Add("http://h/", {ERR_SUCCESS, {"http://h/a", "http://h/slow", "http://h/b"}});
        site.Add("http://h/a", {ERR_SUCCESS, {"http://h/c", "http://h/"}});
        site.Add("http://h/slow", {ERR_SUCCESS, {}, c.saveWhileRunning, -1});
        site.Add("http://h/b", {});
        site.Add("http://h/c", {});
        const std::string path = Path(std::string(c.name) + ".tkp");
        CProjectSettings settings;
        FillSettings(settings, "http://h/");
        settings.SetThreadCount(1);
        ASSERT_TRUE(CQuillmoorDoc::WriteNewProject(path, settings));
        testing_support::CrawlWindow window;
        std::string live;
        {
            CQuillmoorDoc doc(window.Target(), testing_support::ScriptedWorker::Factory(site));
            ASSERT_TRUE(doc.OpenDocument(path));
            ASSERT_TRUE(doc.Save());
            CCrawlController& controller = doc.GetController();
            CProgramOptions options;
            options.SetRetries(1);
            ASSERT_TRUE(controller.Start(options));
            if (c.saveWhileRunning) {
                ASSERT_TRUE(window.PumpUntil([&] { return site.Fetched().size() == 3; }));
                ASSERT_TRUE(doc.Save());
                ASSERT_TRUE(controller.Pause());
            } else {
                ASSERT_TRUE(window.PumpUntilFinished());
                controller.OnCrawlFinished();
            }
            window.PumpUntil([] { return true; });
            EXPECT_EQ(controller.GetState(), c.left);
            live = Stored(doc);
        }
        CQuillmoorDoc reopened(nullptr);
        ASSERT_TRUE(reopened.OpenDocument(path));
        EXPECT_EQ(Stored(reopened), live);
        EXPECT_TRUE(reopened.IsModified());
    }
}

}  // namespace
