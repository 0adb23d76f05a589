// A run's picture fetch: one picture per call, against the local server.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "download/album_run.h"
#include "download/engine_fixture.h"
#include "download/picture_names.h"
#include "support/album_pages.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

class FileFetcherTest : public EngineTest {
protected:
    FileFetcherTest() { fs::create_directory(Folder()); }

    // Fetches path of the local server as name; returns the log line it wrote.
    std::string Fetch(const std::string& path, const std::string& name) { return FetchAddress(server.Url(path), name); }
    std::string FetchAddress(const std::string& address, const std::string& name) {
        const std::size_t before = ui.log.size();
        run->Fetch(address, SafeLocalName(name));
        return ui.log.substr(before);
    }
    std::string Stored(const std::string& name) const { return ReadFile((Folder() / name).string()); }

    std::unique_ptr<AlbumRun> run = std::make_unique<AlbumRun>(ui, settings, Folder());
};

TEST_F(FileFetcherTest, BodiesAroundTheChunkSizeAreStoredWhole) {
    const std::vector<std::size_t> sizes = {0, 1, 204799, 204800, 204801, 3 * 204800 + 7};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "p" + std::to_string(sizes[i]) + ".jpg";
        server.Serve("/" + name, PictureBytes(static_cast<int>(i), sizes[i]));
        EXPECT_EQ(Fetch("/" + name, name), "Downloading " + name + "...OK\r\n");
        EXPECT_EQ(Stored(name), PictureBytes(static_cast<int>(i), sizes[i])) << name;
        EXPECT_TRUE(fs::is_regular_file(Folder() / name));
    }
    EXPECT_EQ(run->Stored(), static_cast<std::int64_t>(sizes.size()));
    EXPECT_EQ(Entries(Folder()).size(), sizes.size());  // no temporary files left
}

TEST_F(FileFetcherTest, CountBeforeThisPictureIsToldAndProgressAtLeastOnce) {
    server.Serve("/a.jpg", "a");
    Fetch("/a.jpg", "a.jpg");
    ui = RecordingFrontEnd();
    Fetch("/a.jpg", "a.jpg");
    EXPECT_EQ(ui.labels, (std::vector<std::string>{"Download in progress... 1 files finished."}));
    EXPECT_EQ(run->Stored(), 2);
    EXPECT_GE(ui.progress_count, 1);
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"append:Downloading a.jpg...",
                                        "label:Download in progress... 1 files finished.", "append:OK\r\n"}));

    // A request that cannot even start still tells its progress once.
    ui = RecordingFrontEnd();
    EXPECT_EQ(FetchAddress("", "x.jpg"), "Downloading x.jpg...failed.\r\n");
    EXPECT_GE(ui.progress_count, 1);
    EXPECT_EQ(ui.labels.size(), 1u);
}

TEST_F(FileFetcherTest, SamePictureNameTwiceIsOverwrittenAndCountedTwice) {
    server.Serve("/one/x.jpg", std::string(5000, 'L'));
    server.Serve("/two/x.jpg", "short");
    Fetch("/one/x.jpg", "x.jpg");
    Fetch("/two/x.jpg", "x.jpg");
    EXPECT_EQ(Stored("x.jpg"), "short");  // not the tail of the longer one
    EXPECT_EQ(run->Stored(), 2);
}

TEST_F(FileFetcherTest, HttpErrorStatusStoresNothingAndSaysFailed) {
    server.ServeStatus("/missing.jpg", 404, "<html>no such picture</html>");
    server.ServeStatus("/broken.jpg", 500);
    EXPECT_EQ(Fetch("/missing.jpg", "missing.jpg"), "Downloading missing.jpg...failed.\r\n");
    EXPECT_EQ(Fetch("/broken.jpg", "broken.jpg"), "Downloading broken.jpg...failed.\r\n");
    EXPECT_EQ(run->Stored(), 0);
    EXPECT_TRUE(Entries(Folder()).empty());
}

TEST_F(FileFetcherTest, ConnectionErrorAndTimeOutStoreNothing) {
    // Port 1 on the loopback has nobody listening.
    EXPECT_EQ(FetchAddress("http://127.0.0.1:1/a.jpg", "a.jpg"), "Downloading a.jpg...failed.\r\n");

    settings.request_timeout = std::chrono::seconds(1);
    run = std::make_unique<AlbumRun>(ui, settings, Folder());
    server.ServeHang("/hang.jpg");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Fetch("/hang.jpg", "hang.jpg"), "Downloading hang.jpg...failed.\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(run->Stored(), 0);
    EXPECT_TRUE(Entries(Folder()).empty());
}

TEST_F(FileFetcherTest, BodyWithoutContentLengthIsStoredWhole) {
    const std::string body = PictureBytes(7, 300000);
    server.ServeChunked("/chunked.jpg", body);
    EXPECT_EQ(Fetch("/chunked.jpg", "chunked.jpg"), "Downloading chunked.jpg...OK\r\n");
    EXPECT_EQ(Stored("chunked.jpg"), body);
    EXPECT_EQ(run->Stored(), 1);
}

TEST_F(FileFetcherTest, BodyCutShortIsAFailedTransferAndTheOlderFileSurvives) {
    WriteFile((Folder() / "cut.jpg").string(), "older picture");
    WriteFile((Folder() / "gone.jpg").string(), "older too");
    server.ServeTruncated("/cut.jpg", PictureBytes(1, 100000), 40000);
    server.ServeStatus("/gone.jpg", 404);
    EXPECT_EQ(Fetch("/cut.jpg", "cut.jpg"), "Downloading cut.jpg...failed.\r\n");
    EXPECT_EQ(Fetch("/gone.jpg", "gone.jpg"), "Downloading gone.jpg...failed.\r\n");
    EXPECT_EQ(Stored("cut.jpg"), "older picture");
    EXPECT_EQ(Stored("gone.jpg"), "older too");
    EXPECT_EQ(run->Stored(), 0);
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"cut.jpg", "gone.jpg"}));
}

TEST_F(FileFetcherTest, RedirectIsFollowedToThePicture) {
    server.Serve("/real/a.jpg", "the picture");
    server.ServeRedirect("/a.jpg", "/real/a.jpg");
    EXPECT_EQ(Fetch("/a.jpg", "a.jpg"), "Downloading a.jpg...OK\r\n");
    EXPECT_EQ(Stored("a.jpg"), "the picture");
}

TEST_F(FileFetcherTest, ExitDuringTheTransferLeavesNoHalfWrittenPicture) {
    WriteFile((Folder() / "slow.jpg").string(), "older picture");
    server.ServeTrickle("/slow.jpg", PictureBytes(3, 200000), 1000, std::chrono::milliseconds(10));
    // Exit: cancels the run once some of the body has come in.
    ui.on_progress = [this] {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Folder(), ec)) {
            if (entry.path().filename().string().starts_with(".gathrix-") && entry.file_size(ec) > 0) run->CancelAll();
        }
    };
    EXPECT_EQ(Fetch("/slow.jpg", "slow.jpg"), "Downloading slow.jpg...failed.\r\n");
    EXPECT_GT(ui.progress_count, 1);
    EXPECT_EQ(Stored("slow.jpg"), "older picture");
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"slow.jpg"}));
    EXPECT_EQ(run->Stored(), 0);
}

TEST_F(FileFetcherTest, UnsafeLocalNamesStayInTheWorkingFolder) {
    server.Serve("/a.jpg", "picture");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"../escape.jpg", ".._escape.jpg"},
        {"/etc/passwd", "_etc_passwd"},
        {"..", "__"},
        {".", "_"},
        {"", "_"},
        {"a\\b.jpg", "a_b.jpg"},
        {"new\nline.jpg", "new_line.jpg"},
        {"tab\t.jpg", "tab_.jpg"},
        {"del\x7f.jpg", "del_.jpg"},
        // C1 controls: as UTF-8 (one "_" for the two bytes) and as stray bytes,
        // also after a character cut short.
        {"csi\xc2\x9b.jpg", "csi_.jpg"},
        {"nel\xc2\x85\xc2\x9fx.jpg", "nel__x.jpg"},
        {"raw\x9b.jpg", "raw_.jpg"},
        {"cut\xe4\x9b.jpg", "cut\xe4_.jpg"},
    };
    for (const auto& [name, safe] : cases) {
        EXPECT_EQ(Fetch("/a.jpg", name), "Downloading " + safe + "...OK\r\n");
        EXPECT_EQ(Stored(safe), "picture") << safe;
    }
    EXPECT_EQ(Entries(Folder()).size(), cases.size() - 1);  // "." and "" both give "_"
    EXPECT_EQ(Entries(Start()), (std::vector<std::string>{"AlbumDownload"}));
}

TEST_F(FileFetcherTest, SafeLocalNameLeavesOrdinaryNamesAlone) {
    EXPECT_EQ(SafeLocalName("IMG_0001.JPG"), "IMG_0001.JPG");
    EXPECT_EQ(SafeLocalName("photo (1).jpg"), "photo (1).jpg");
    EXPECT_EQ(SafeLocalName("...jpg"), "...jpg");
    // UTF-8 (U+00A0 and U+011B end in bytes that are C1 codes on their own),
    // and a Latin-1 letter outside UTF-8.
    for (const char* name :
         {"caf\xc3\xa9.jpg", "\xc2\xa0\xc4\x9b.jpg", "\xe6\x97\xa5\xe6\x9c\xac.jpg", "caf\xe9.jpg"}) {
        EXPECT_EQ(SafeLocalName(name), name);
    }
    EXPECT_EQ(SafeLocalName("a?b=c&d"), "a?b=c&d");
    // Too long for a file name: the stem is cut, the extension stays, and a
    // two-byte character is not split.
    EXPECT_EQ(SafeLocalName(std::string(300, 'x') + ".jpg"), std::string(251, 'x') + ".jpg");
    const std::string accents = std::string(249, 'x') + "\xc3\xa9\xc3\xa9\xc3\xa9.jpeg";
    EXPECT_EQ(SafeLocalName(accents), std::string(249, 'x') + ".jpeg");
}

// The program's own files in the album folder: no picture is stored under
// their names, and one picture's kept body is never another's record, also
// for names too long to keep whole.
TEST(KeptBodyNames, NeverAPictureNorAnotherPicturesFile) {
    EXPECT_EQ(SafeLocalName(".gathrix-partial-x.jpg"), "_gathrix-partial-x.jpg");
    EXPECT_EQ(SafeLocalName(".gathrix-"), "_gathrix-");
    EXPECT_EQ(SafeLocalName(".gathrix"), ".gathrix");
    EXPECT_EQ(KeptBodyNamesFor("a.jpg").body, ".gathrix-partial-a.jpg");
    EXPECT_EQ(KeptBodyNamesFor("a.jpg").info, ".gathrix-info-a.jpg");
    const KeptBodyNames hashed = KeptBodyNamesFor(std::string(300, 'x'));
    EXPECT_EQ(hashed.body.size(), 255u);
    // A name that looks like a hashed stem is as long, so it is hashed in turn.
    const std::string look_alike = hashed.body.substr(std::string(".gathrix-partial-").size());
    std::vector<std::string> names;
    for (const std::string& name : {std::string("a"), std::string("a.info"), std::string(237, 'x'),
                                    std::string(238, 'x'), std::string(300, 'x'), look_alike}) {
        const KeptBodyNames kept = KeptBodyNamesFor(name);
        EXPECT_LE(kept.body.size(), 255u);
        EXPECT_LE(kept.info.size(), 255u);
        names.push_back(kept.body);
        names.push_back(kept.info);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

// A picture that must not replace another's file is numbered before its
// extension; the whole stays a file name, cut only between characters.
TEST(NumberedName, NumberGoesBeforeTheExtension) {
    const std::string accents = std::string(248, 'x') + "\xc3\xa9.jpg";  // 254 bytes
    const struct {
        std::string name;
        std::int64_t number;
        std::string numbered;
        // clang-format off
    } rows[] = {
        {"IMG_0001.JPG", 2, "IMG_0001-2.JPG"},
        {"archive.tar.gz", 3, "archive.tar-3.gz"},
        {"noext", 2, "noext-2"},
        {".hidden", 2, ".hidden-2"},
        {std::string(251, 'x') + ".jpg", 12, std::string(248, 'x') + "-12.jpg"},
        {accents, 2, std::string(248, 'x') + "-2.jpg"},
        {"a." + std::string(260, 'e'), 2, ("a." + std::string(260, 'e')).substr(0, 253) + "-2"},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(NumberedName(row.name, row.number), row.numbered) << row.name;
}

}  // namespace
}  // namespace gathrix::test
