// One call's six alarm fields from templates, with a look-up over a
// 10,000-character section read from disk on every call.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "format/template.h"
#include "platform/inifilesource.h"

namespace tw {
namespace {

// A folder holding Tellwick.ini with a look-up section of about 10,000
// characters whose only matching entry is the last one.
class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tellwick-bench-XXXXXX").string();
        m_Path = std::string(mkdtemp(pattern.data())) + "/";
        std::string ini = "[General]\r\nUseFormatSection=1\r\n[Lookup]\r\n";
        const size_t sectionStart = ini.size();
        for (int i = 0; ini.size() - sectionStart < 9950; ++i) {
            ini += "Class" + std::to_string(i) + "=ZONE" + std::to_string(i) + "*,??X*\r\n";
        }
        ini += "Fire=F*,SMOKE*\r\n";
        std::ofstream(m_Path + "Tellwick.ini", std::ios::binary) << ini;
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Path;
};

void OneCallSixFields(benchmark::State& state) {
    const BenchFolder folder;
    IniFileSource ini(folder.Path());
    const LocalTime now = MakeLocalTime(2019, 5, 27, 14, 31, 5);
    const std::string description = "Ward 3";
    RecordTable records;
    records[1] = "1234";
    records[2] = "Room 12/Bed 3";
    records[4] = "smoke detector";
    const std::array<std::string, 6> templates = {
        "[PORTDESCRIPTION]", "Call [F1]: [CF:/][F2]",      "[RFFC:4,2::Lookup]",
        "[DATE] [TIME]",     "[CU:/][R:BED:Bett][F2::20]", "[F1:0-1]|[65][13]",
    };
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        for (const std::string& formatTemplate : templates) {
            benchmark::DoNotOptimize(ExpandFormatTemplate(
                formatTemplate, {records, description, "Short Date", "Long Time", now, ini}));
        }
    }
}
BENCHMARK(OneCallSixFields);

}  // namespace
}  // namespace tw
