// The window rules through a fake view that records what the window would
// show: boxes, pointers, progress, dialogs asked, focus and stored settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "FolderChoice.h"
#include "Form1Rules.h"
#include "Layout.h"
#include "Paths.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct FakeStore : SettingsStore {
    std::map<std::string, std::string> values;
    bool broken = false;
    std::string read(const std::string& key, const std::string& defaultValue) override {
        const auto found = values.find(key);
        return found == values.end() ? defaultValue : found->second;
    }
    bool write(const std::string& key, const std::string& value) override {
        if (broken) return false;
        values[key] = value;
        return true;
    }
    std::string location() override { return "the store"; }
    std::string defaultOutputFolder() override { return "C:\\"; }
};

// Records every call of the rules as one line; "boxes" holds only the boxes,
// as "pointer|title|icon|text" with the pointer mode while the box was open.
struct FakeView : View {
    Form1Rules* rules = nullptr;
    std::map<Field, std::string> fields;
    std::map<Button, bool> pressed;
    Lines calls, boxes;
    std::vector<std::string> answers; // for the dialogs, in turn
    int draw = 1;
    PointerMode pointer = PointerMode::Default;
    ProgressSteps shownProgress;
    // Runs once, after the first piece of a run.
    std::function<void()> duringRun = [] {};

    // The engine's host as a toolkit window is one: it hands everything to
    // the rules, and acts in the middle of a run.
    struct Host : SplitMergeFile::Host {
        FakeView& view;
        explicit Host(FakeView& v) : view(v) {}
        void progress(const SplitMergeFile::Progress& p) override {
            view.rules->progress(p);
            if (p.pieces == 1) std::exchange(view.duringRun, [] {})();
        }
        void processEvents() override { view.rules->processEvents(); }
        bool keepGoing() override { return view.rules->keepGoing(); }
    } host{*this};
    SplitMergeFile::Host* engineHost() override { return &host; }

    std::string text(Field field) override { return fields[field]; }
    void setText(Field field, const std::string& text) override {
        const bool changed = fields[field] != text;
        fields[field] = text;
        if (field == Field::Text2 && changed) rules->Text2_Change();
    }
    void focus(Field field) override { calls.push_back("focus " + std::to_string(int(field) + 1)); }
    bool isPressed(Button button) override { return pressed[button]; }
    void release(Button button) override {
        pressed[button] = false;
        calls.push_back("release Check" + std::to_string(int(button) + 1));
    }
    void showPointer(PointerMode mode) override { pointer = mode; }
    void showProgress(const ProgressSteps& steps) override { shownProgress = steps; }
    void showMessage(const WindowMessage& m) override {
        boxes.push_back(std::to_string(int(pointer)) + "|" + m.title + "|" + std::to_string(int(m.icon)) + "|" +
                        m.text);
    }
    std::string answer(const std::string& asked) {
        calls.push_back(asked);
        if (answers.empty()) return "";
        const std::string next = answers.front();
        answers.erase(answers.begin());
        return next;
    }
    std::string chooseFile(const std::string& title, FileFilter filter) override {
        return answer("file dialog " + title + " " + fileType(filter).pattern);
    }
    std::string chooseFolder(const std::string& title) override { return answer("folder dialog " + title); }
    void letEventsRun() override {}
    NumberFormat numberFormat() override { return {}; }
    void centreOnScreen() override { calls.push_back("centre"); }
    void loadHoverPointer() override { calls.push_back("hover pointer"); }
    int drawOneToHundred() override { return draw; }
    void openHomePage(const std::string& address) override { calls.push_back("home page " + address); }
    void setCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void whitenProgressBar() override { calls.push_back("white bar"); }
};

struct Window {
    FakeView view;
    FakeStore store;
    Form1Rules rules{view, store};
    Window() { view.rules = &rules; }
    // A press: the button reads pressed, then its click notification.
    void press(Button button) {
        view.pressed[button] = true;
        click(button);
    }
    void click(Button button) {
        switch (button) {
        case Button::Check1: return rules.Check1_Click();
        case Button::Check2: return rules.Check2_Click();
        case Button::Check3: return rules.Check3_Click();
        case Button::Check4: return rules.Check4_Click();
        case Button::Check5: return rules.Check5_Click();
        }
    }
};

// A scratch folder of the test's own, its path ending in a separator.
struct Scratch {
    fs::path root = fs::temp_directory_path() /
                    ("tessaly-rules-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    Scratch() {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Scratch() { fs::remove_all(root); }
    std::string path(const std::string& name = "") const { return fromFsPath(root) + kPathSeparator + name; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(fsPath(path(name)), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(fsPath(path(name)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    Lines names() const {
        Lines found;
        for (const auto& entry : fs::directory_iterator(root)) found.push_back(fromFsPath(entry.path().filename()));
        std::sort(found.begin(), found.end());
        return found;
    }
};

const std::string kWarn = "|2|", kInfo = "|1|";

// A command row: what stands at the typed name ("" nothing, "dir" a folder,
// otherwise a file holding that text), the chunk size, the boxes shown ("%1"
// is the typed path), the files in the folder afterwards.
struct CommandRow {
    const char* tag;
    Button button;
    const char* name;
    const char* content;
    const char* chunk;
    Lines boxes;
    Lines files;
    friend void PrintTo(const CommandRow& row, std::ostream* out) { *out << row.tag; }
};

class Commands : public testing::TestWithParam<CommandRow> {};

TEST_P(Commands, TestInOrderThenRunAndReset) {
    const CommandRow& row = GetParam();
    Scratch dir;
    const std::string typed = std::string(row.name).empty() ? "" : dir.path(row.name);
    if (std::string(row.content) == "dir") fs::create_directories(fsPath(typed));
    else if (*row.content != '\0') dir.write(row.name, row.content);
    Window w;
    const Field source = row.button == Button::Check4 ? Field::Text1 : Field::Text4;
    w.view.fields = {{source, typed}, {Field::Text2, dir.path()}, {Field::Text3, row.chunk}};
    w.view.shownProgress = {7, 3};
    w.press(row.button);

    Lines expected;
    for (std::string box : row.boxes) {
        if (const auto at = box.find("%1"); at != std::string::npos) box.replace(at, 2, typed);
        expected.push_back(box);
    }
    EXPECT_EQ(w.view.boxes, expected);
    Lines files = dir.names();
    if (*row.content != '\0') files.erase(std::find(files.begin(), files.end(), row.name));
    EXPECT_EQ(files, row.files);
    EXPECT_EQ(int(w.rules.mousePointer()), 0);
    EXPECT_EQ(w.view.shownProgress.value, 0);
    EXPECT_FALSE(w.rules.running());
}

const std::string kSplitted = "11|Cannot Split File" + kWarn + "Cannot split splitted file.";
const std::string kNotExist = "11|ERROR: File not exist" + kWarn + "%1 not exist!";
const std::string kTooSmall = "11|ERROR: Cannot split a file" + kWarn + "Filesize is less than or equal to chunk size.";
const std::string kBadChunk = "11|ERROR: Cannot split a file" + kWarn +
                              "The chunk size must be a whole number of bytes from 1 to 9223372036854775807.";

INSTANTIATE_TEST_SUITE_P(
    SplitAndJoin, Commands,
    testing::Values(
        CommandRow{"SplitEmptyFieldSaysNothing", Button::Check4, "", "", "3", {}, {}},
        CommandRow{"SplitNameTestBeforePresence", Button::Check4, "gone.splt", "", "3", {kSplitted}, {}},
        CommandRow{"SplitUnderscoreName", Button::Check4, "a_splt1", "0123456789", "abc", {kSplitted}, {}},
        CommandRow{"SplitCapitalsPassNameTest", Button::Check4, "gone.SPLT", "", "3", {kNotExist}, {}},
        CommandRow{"SplitFolderIsNotPresent", Button::Check4, "d", "dir", "3", {kNotExist}, {}},
        CommandRow{"SplitPresenceBeforeChunkSize", Button::Check4, "m", "", "abc", {kNotExist}, {}},
        CommandRow{"SplitChunkSizeBeforeFileSize", Button::Check4, "m", "0", "0", {kBadChunk}, {}},
        CommandRow{"SplitExactlyOnePiece", Button::Check4, "m", "01234", "5", {kTooSmall}, {}},
        CommandRow{"SplitOneByteMore", Button::Check4, "m", "012345", "5",
                   {"11|Message" + kInfo + "File successfully split"}, {"m.splt", "m_splt1", "m_splt2"}},
        CommandRow{"SplitHalfToEven", Button::Check4, "m", "01234", "2.5",
                   {"11|Message" + kInfo + "File successfully split"}, {"m.splt", "m_splt1", "m_splt2", "m_splt3"}},
        CommandRow{"JoinEmptyField", Button::Check3, "", "", "", {"11|Message" + kInfo + "You must select file to join."},
                   {}},
        CommandRow{"JoinMissing", Button::Check3, "p.splt", "", "", {kNotExist}, {}},
        CommandRow{"JoinDamagedIndex", Button::Check3, "p.splt", "x\r\n\r\n", "",
                   {"11|Error message" + kWarn + "Cannot join %1: the index file is damaged (line 2 is empty)."}, {}}),
    [](const testing::TestParamInfo<CommandRow>& info) { return std::string(info.param.tag); });

TEST(Rules, SplitThenJoinThroughTheButtonsGivesTheSameBytes) {
    Scratch dir;
    dir.write("source.bin", "0123456789");
    Window w;
    w.view.fields = {{Field::Text1, dir.path("source.bin")}, {Field::Text2, dir.path()}, {Field::Text3, "4"}};
    w.press(Button::Check4);
    EXPECT_EQ(dir.read("source.bin_splt3"), "89");
    // The range stays as the run left it; the value is back at 0.
    EXPECT_EQ((std::pair{w.view.shownProgress.maximum, w.view.shownProgress.value}), (std::pair{3, 0}));

    fs::rename(fsPath(dir.path("source.bin")), fsPath(dir.path("original.bin")));
    w.view.fields[Field::Text4] = dir.path("source.bin.splt");
    w.press(Button::Check3);
    EXPECT_EQ(w.view.boxes,
              (Lines{"11|Message" + kInfo + "File successfully split", "11|Message" + kInfo + "Files successfully joined"}));
    EXPECT_EQ(dir.read("source.bin"), "0123456789");
}

// A click that finds its button released does nothing; a press during a run
// only springs back: no dialog, no second run, and the run goes on.
TEST(Rules, ButtonGuardAndOneRunAtATime) {
    Scratch dir;
    dir.write("s", std::string(100000, 'x'));
    Window w;
    w.view.fields = {{Field::Text1, dir.path("s")}, {Field::Text2, dir.path()}, {Field::Text3, "1000"}};
    w.view.shownProgress = {7, 3};
    for (Button b : {Button::Check1, Button::Check2, Button::Check3, Button::Check4, Button::Check5}) w.click(b);
    EXPECT_EQ(w.view.calls, Lines{});
    EXPECT_EQ(w.view.shownProgress.value, 3);

    w.view.duringRun = [&] {
        for (Button b : {Button::Check1, Button::Check2, Button::Check3, Button::Check4, Button::Check5}) w.press(b);
        EXPECT_EQ(int(w.rules.mousePointer()), 11);
    };
    w.press(Button::Check4);
    EXPECT_EQ(w.view.calls, (Lines{"release Check4", "release Check1", "release Check2", "release Check3",
                                   "release Check4", "release Check5"}));
    EXPECT_EQ(w.view.boxes, Lines{"11|Message" + kInfo + "File successfully split"});
    EXPECT_EQ(dir.names().size(), 102u);
}

TEST(Rules, ClosingDuringASplitLeavesNoPiecesAndSaysNothing) {
    Scratch dir;
    dir.write("s", std::string(100000, 'x'));
    Window w;
    w.view.fields = {{Field::Text1, dir.path("s")}, {Field::Text2, dir.path()}, {Field::Text3, "1000"}};
    w.view.duringRun = [&] {
        w.rules.requestStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(30)); // past the engine's pause between event passes
    };
    w.press(Button::Check4);
    EXPECT_EQ(w.view.boxes, Lines{});
    EXPECT_EQ(dir.names(), Lines{"s"});
    // A leave of Text3 still pending at shutdown stores nothing.
    w.view.fields[Field::Text3] = "abc";
    w.rules.Text3_LostFocus();
    EXPECT_TRUE(w.store.values.empty());
}

TEST(Rules, PickersFillTheirFieldsTidiedOrLeaveThem) {
    struct Row {
        Button button;
        Field field;
        std::string answer, text, asked;
    };
    const char sep = kPathSeparator;
    const std::string root = sep == '\\' ? "C:\\" : "/";
    const std::string allFiles = sep == '\\' ? "*.*" : "*";
    const Row rows[] = {
        {Button::Check1, Field::Text1, "", "old", "file dialog Select File " + allFiles},
        {Button::Check1, Field::Text1, root + "movie.avi", root + "movie.avi", "file dialog Select File " + allFiles},
        {Button::Check5, Field::Text4, "", "old", "file dialog Select File *.splt"},
        {Button::Check2, Field::Text2, "", "old", "folder dialog Please select folder to add:"},
        {Button::Check2, Field::Text2, root, root, "folder dialog Please select folder to add:"},
        {Button::Check2, Field::Text2, root + "Data", root + "Data" + sep, "folder dialog Please select folder to add:"},
    };
    for (const Row& row : rows) {
        Window w;
        w.view.fields[row.field] = "old";
        w.view.answers = {row.answer};
        w.press(row.button);
        EXPECT_EQ(w.view.fields[row.field], row.text) << row.answer;
        EXPECT_EQ(w.view.calls.back(), row.asked);
        // The output folder is stored through its change handler only.
        EXPECT_EQ(w.store.read(kOutputFolderKey, "<absent>"), row.field == Field::Text2 && !row.answer.empty()
                                                                  ? row.text
                                                                  : "<absent>");
    }
}

TEST(Rules, PointerModes) {
    struct Row {
        const char* moves; // b: over one of Check1..Check4, f: bare background, r: a run starts
        int mode;
    };
    const Row rows[] = {{"b", 99}, {"bf", 0}, {"fb", 99}, {"rb", 11}, {"rf", 11}, {"bbr", 11}};
    for (const Row& row : rows) {
        Window w;
        for (const char* m = row.moves; *m != '\0'; ++m) {
            if (*m == 'b') w.rules.Check_MouseMove();
            if (*m == 'f') w.rules.Form_MouseMove();
            if (*m == 'r') w.rules.setMousePointer(PointerMode::Busy);
        }
        EXPECT_EQ(int(w.rules.mousePointer()), row.mode) << row.moves;
        EXPECT_EQ(int(w.view.pointer), row.mode) << row.moves;
    }
}

// Two starts, the second drawing the home page's number, over one store.
TEST(Rules, StartUpStepsInOrder) {
    FakeStore store;
    Lines after;
    for (int draw : {6, 7}) {
        FakeView view;
        Form1Rules rules(view, store);
        view.rules = &rules;
        view.draw = draw;
        rules.Form_Load();
        view.calls.push_back(view.fields[Field::Text2] + " " + view.fields[Field::Text3] + ", stored " +
                             store.read(kOutputFolderKey, "<absent>") + " " + store.read(kChunkSizeKey, "<absent>"));
        for (const std::string& call : view.calls) after.push_back(call);
        store.values[kChunkSizeKey] = "x";
    }
    EXPECT_EQ(after, (Lines{"centre", "hover pointer", "caption Tessaly", "white bar",
                            "C:\\ 100000, stored C:\\ <absent>", "centre", "hover pointer",
                            "home page https://www.orvane.example/", "caption Tessaly", "white bar",
                            "C:\\ x, stored C:\\ x"}));
}

TEST(Rules, LeavingTheChunkSizeFieldChecksThenStores) {
    struct Row {
        const char* text;
        bool told;
    };
    for (const Row& row : {Row{"abc", true}, Row{"", true}, Row{"0", false}, Row{"-5", false}, Row{"1.5", false}}) {
        Window w;
        w.view.fields[Field::Text3] = row.text;
        w.rules.Text3_LostFocus();
        const Lines told{"0|Tessaly|0|Must be numeric entry."};
        EXPECT_EQ(w.view.boxes, row.told ? told : Lines{}) << row.text;
        EXPECT_EQ(w.view.calls, row.told ? Lines{"focus 3"} : Lines{}) << row.text;
        EXPECT_EQ(w.store.read(kChunkSizeKey, "<absent>"), row.text);
    }
}

TEST(Rules, AStoreThatCannotBeWrittenIsToldOfOnce) {
    Window w;
    w.store.broken = true;
    for (const char* text : {"a", "ab", "abc"}) w.view.setText(Field::Text2, text);
    EXPECT_EQ(w.view.boxes, (Lines{"0|Tessaly" + kWarn + "Cannot save the settings in the store. The output folder and "
                                                          "the chunk size will not be remembered."}));
}

TEST(Rules, ChunkSizeText) {
    const NumberFormat en{".", ","}, de{",", "."}, fr{",", "\u202f"};
    struct Row {
        const NumberFormat& format;
        const char* text;
        const char* outcome; // "number <size>", "number -" (no chunk size), or "text"
    };
    const Row rows[] = {
        {en, " +1,000 ", "number 1000"}, {en, "1,000,000", "number 1000000"}, {en, "0.5", "number -"},
        {en, "2.5", "number 2"},         {en, "3.5", "number 4"},             {en, "1e3", "number 1000"},
        {en, "1,000e2", "number 100000"}, {en, ".5", "number -"},             {en, "1.", "number 1"},
        {en, "-0", "number -"},          {en, "-3", "number -"},              {en, "   ", "text"},
        {en, "", "text"},                {en, "12kb", "text"},                {en, "inf", "text"},
        {en, "nan", "text"},             {en, "1,0", "text"},                 {en, "1234,567", "text"},
        {en, ",100", "text"},            {en, "1,,000", "text"},              {en, "1.5e", "text"},
        {en, "+-1", "text"},             {en, "0x10", "text"},                {en, "1e400", "text"},
        {de, "1.000,5", "number 1000"},  {de, "1,000", "number 1"},           {de, "12,3456", "number 12"},
        {fr, "1\u202f000", "number 1000"}, {fr, "1 000", "number 1000"},      {en, "1 000", "text"},
        {en, "9223372036854775807", "number 9223372036854775807"},
        {en, "9223372036854775808", "number -"},
    };
    for (const Row& row : rows) {
        const std::optional<std::int64_t> size = chunkSizeFromText(row.text, row.format);
        const std::string got = !isNumericText(row.text, row.format) ? "text"
                                : size                              ? "number " + std::to_string(*size)
                                                                    : "number -";
        EXPECT_EQ(got, row.outcome) << "'" << row.text << "'";
    }
}

TEST(Rules, FolderChoiceTidying) {
    struct Row {
        char separator;
        const char* chosen;
        const char* text; // "-": no choice
    };
    const Row rows[] = {
        {'/', "", "-"},          {'/', "/", "/"},           {'/', "/a//b", "/a/b/"},
        {'\\', "C", "-"},        {'\\', "\xc3\xa9", "-"},   {'\\', R"(C:\)", R"(C:\)"},
        {'\\', R"(C:\Data)", R"(C:\Data\)"},                {'\\', R"(C:\a\\)", R"(C:\a\\)"},
        {'\\', R"(\\server\\share)", R"(\\server\\share\)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(tidyFolderChoice(row.chosen, row.separator).value_or("-"), row.text) << row.chosen;
    }
}

// The bar counts in int: larger ranges scale down; an empty range is 0 of 1.
TEST(Rules, ProgressStepsAndPlacement) {
    EXPECT_EQ((std::pair{progressSteps(10, 3).maximum, progressSteps(10, 3).value}), (std::pair{10, 3}));
    EXPECT_EQ((std::pair{progressSteps(0, 5).maximum, progressSteps(0, 5).value}), (std::pair{1, 0}));
    const ProgressSteps huge = progressSteps(std::int64_t(1) << 40, std::int64_t(1) << 39);
    EXPECT_EQ((std::pair{huge.maximum, huge.value}), (std::pair{INT_MAX, INT_MAX / 2}));
    // Centring: odd differences round down, larger windows start off screen.
    EXPECT_EQ((Lines{std::to_string(layout::centredStart(800, 529)), std::to_string(layout::centredStart(100, 131))}),
              (Lines{"135", "-16"}));
    // Twips to pixels at 96 and 144 dots per inch.
    EXPECT_EQ((std::pair{layout::pixels(7935), layout::pixels(7935, 144)}), (std::pair{529, 793}));
    EXPECT_EQ(layout::pixels(-720), -48);
    EXPECT_EQ(drawnNumber(0.0), 1);
    EXPECT_EQ(drawnNumber(0.999999), 100);
}

} // namespace
} // namespace tessaly
