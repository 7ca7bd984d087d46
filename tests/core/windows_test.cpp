// What Windows does differently. Tests that mean something on every system
// run everywhere; the rest skip elsewhere.
#include "File.h"
#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

// Names in and out of Windows's Western code page (1252, with its 0x80 to
// 0x9F) are carried exactly. An index written in that code page by an
// earlier program joins on Windows; elsewhere its entries name no file.
TEST_F(Engine, NonAsciiNames) {
    const std::string folderOut = mkdir("Ausgabe ä € 出力"), folderBack = mkdir("zurück – 戻る");
    for (const std::string name :
         {"Grüße ä.bin", "€ – report.bin", "“quoted” ‘single’ … .bin", "日本語のファイル.bin"}) {
        SCOPED_TRACE(name);
        const std::string source = dir + "src" + kPathSeparator + name, indexPath = folderOut + name + ".splt";
        writeFile(source, bytes);
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, source, 100, folderOut)), "succeeded");
        std::string listed;
        for (int k = 1; k <= 3; ++k) listed += folderOut + name + "_splt" + std::to_string(k) + "\r\n";
        EXPECT_EQ(readFile(indexPath), listed);
        EXPECT_EQ(summary(JoinFiles(join, indexPath, folderBack)), "succeeded");
        EXPECT_EQ(readFile(folderBack + name), bytes);
        // Both were written under hidden temporary names: once named, they show.
        EXPECT_TRUE(isPresentFile(indexPath));
        EXPECT_TRUE(isPresentFile(folderBack + name));
    }
    const std::string source = dir + "src" + kPathSeparator + "€ – report.bin";
    fs::create_hard_link(fsPath(source), fsPath(out + "€ – REPORT.BIN.SPLT"));
    FakeHost linked, ansi;
    EXPECT_EQ(summary(SplitFile(linked, source, 100, out)),
              "would overwrite the source: " + out + "€ – REPORT.BIN.SPLT");
    EXPECT_EQ(readFile(source), bytes);
#ifdef _WIN32
    if (GetACP() != 1252) GTEST_SKIP() << "the entries below are written in code page 1252";
#endif
    fs::copy_file(fsPath(folderOut + "€ – report.bin_splt1"), fsPath(out + "€ – report.bin_splt1"));
    writeFile(dir + "ansi.splt", out + "\x80 \x96 report.bin_splt1\r\n");
    EXPECT_EQ(summary(JoinFiles(ansi, dir + "ansi.splt", back)),
              kWindows ? "succeeded" : "missing piece: " + out + "\x80 \x96 report.bin_splt1");
    EXPECT_EQ(readFile(back + "ansi"), kWindows ? bytes.substr(0, 100) : "");
}

// Names Windows would not store as written: devices (also with an extension,
// or a blank and a dot), a trailing dot or blank, a colon (a stream), and
// letter case. They are refused unopened and nothing is written; a file made
// under such a name through "\\?\" is read but not given it again. Nor is a
// file replaced that another program holds open without sharing.
TEST_F(Engine, WhatWindowsRefuses) {
#ifndef _WIN32
    GTEST_SKIP() << "elsewhere these are plain names, and open files no obstacle";
#else
    const auto win32Reason = [](DWORD error) { return std::system_category().message(int(error)); };
    const auto row = [](const std::string& name, bool join, const std::string& path, const std::string& folder,
                        const std::string& expected) {
        FakeHost host;
        EXPECT_EQ(summary(join ? JoinFiles(host, path, folder) : SplitFile(host, path, 100, folder)), expected) << name;
    };
    const std::string literal = "\\\\?\\" + dir + "src" + kPathSeparator;
    writeFile(literal + "CON", bytes);
    writeFile(literal + "NUL.splt", src + "\r\n");
    writeFile(dir + "devices.splt", src + "\r\n" + dir + "AUX\r\n");
    writeFile(dir + "a..splt", src + "\r\n");
    writeFile(back + "a", "other file");
    writeFile(dir + "a_splt1", "piece");
    writeFile(dir + "A_SPLT1.splt", dir + "a_splt1\r\n");
    const std::string device = ": not a regular file", invalid = ": " + win32Reason(ERROR_INVALID_NAME);
    row("device name with an extension", false, dir + "nul.txt", out, "open " + dir + "nul.txt" + device);
    row("a pipe", false, "\\\\.\\pipe\\tessaly", out, "open \\\\.\\pipe\\tessaly" + device);
    row("index named CON.splt", false, literal + "CON", out, "create " + out + "CON.splt" + device);
    row("rebuilt name NUL", true, literal + "NUL.splt", out, "create " + out + "NUL" + device);
    row("device as a listed piece", true, dir + "devices.splt", back, "missing piece: " + dir + "AUX");
    row("rebuilt name with a trailing dot", true, dir + "a..splt", back, "create " + back + "a." + invalid);
    row("a colon in the folder", false, src, out + "stream:", "create " + out + "stream:movie.avi.splt" + invalid);
    row("rebuilt name a listed piece in other case", true, dir + "A_SPLT1.splt", dir,
        "rebuilt is a piece: " + dir + "A_SPLT1 " + dir + "a_splt1");
    writeFile(back + "held", "former");
    writeFile(dir + "held.splt", src + "\r\n");
    HANDLE held = CreateFileW(fsPath(back + "held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FakeHost host;
    const std::string got = summary(JoinFiles(host, dir + "held.splt", back)), failed = "write " + back + "held: ";
    CloseHandle(held);
    // Wine calls that access denied, Windows may call it a sharing violation.
    EXPECT_TRUE(got == failed + win32Reason(ERROR_ACCESS_DENIED) ||
                got == failed + win32Reason(ERROR_SHARING_VIOLATION))
        << got;
    EXPECT_EQ(readFile(back + "held"), "former");
    EXPECT_EQ(listing(out), Names{});
    EXPECT_EQ(listing(back), (Names{"a", "devices", "held"}));
    EXPECT_EQ(readFile(back + "a"), "other file");
    EXPECT_EQ(readFile(dir + "a_splt1"), "piece");
    // The C++ library cannot remove these names.
    DeleteFileW(fsPath(literal + "CON").c_str());
    DeleteFileW(fsPath(literal + "NUL.splt").c_str());
#endif
}

// Reads and writes larger than one call takes: Win32 counts in 32 bits, so a
// read asked for 4 GiB must not see "end of file", and a write of over 4 GiB
// must write it all. Linux moves at most 2 GiB a call.
TEST_F(Engine, ReadsAndWritesLargerThanOneCall) {
    constexpr std::size_t kGiB = std::size_t{1} << 30;
    const std::size_t writeSize = (kWindows ? 4 * kGiB : 2 * kGiB) + 8;
    // Reserved, not touched: the pages cost memory only once written.
    std::unique_ptr<char[]> buffer(new char[4 * kGiB + 8]);
    writeFile(dir + "small", "0123456789");
    auto small = File::openRead(dir + "small");
    ASSERT_TRUE(small);
    for (const std::size_t n : {2 * kGiB + 1, 4 * kGiB, 4 * kGiB + 7}) {
        const auto got = small->readAt(buffer.get(), n, 0);
        ASSERT_TRUE(got) << n;
        EXPECT_EQ(*got, 10) << n;
    }
    // Only the last bytes are looked at again; the rest may hold anything.
    std::fill_n(buffer.get() + writeSize - 8, 8, 'e');
    auto large = File::createNew(dir + "large");
    ASSERT_TRUE(large);
    EXPECT_FALSE(large->writeAt(buffer.get(), writeSize, 0));
    ASSERT_FALSE(large->close());
    EXPECT_EQ(FileSize::FileSize2(dir + "large"), std::int64_t(writeSize));
    std::ifstream written(fsPath(dir + "large"), std::ios::binary);
    std::string end(8, '\0');
    written.seekg(std::streamoff(writeSize - 8)).read(end.data(), 8);
    EXPECT_EQ(end, "eeeeeeee");
}

} // namespace
} // namespace tessaly::test
