// Load, Save and memory of a record database of realistic call records.
//
//   record_file_bench [SECTIONS] [DIR]
//
// Prints one "name: value unit" line per figure. Times are the best of nine
// runs, so a busy moment of the machine does not count against the code.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "platform/config/DurableFile.h"
#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "platform/sys/System.h"

using Configuration::MultiSectionFile;

namespace {

// Page-cache writes only: what the format costs without the storage's sync.
class NoSyncFs : public System {
public:
    int Fsync(int) override { return 0; }
};

MultiSectionFile* Open(const std::string& path) {
    return new Configuration::RecordFile(path.c_str());
}

// One call with two media streams: 41 entries, about 700 bytes of text.
void AddCall(MultiSectionFile& f, unsigned id) {
    char v[64];
    f.AddSection(true);
    auto add = [&](const char* key, unsigned long value) {
        snprintf(v, sizeof v, "%lu", value);
        f.AddSectionEntry(key, v);
    };
    add("ID", id);
    add("ST", 1764950400UL + id * 37);
    add("dur", id % 3600);
    snprintf(v, sizeof v, "+4930%07u", id * 7919 % 10000000);
    f.AddSectionEntry("called", v);
    f.AddSectionEntry("caller", "Reception 2nd floor <sip:201@pbx.example.net>");
    snprintf(v, sizeof v, "%08x-5c1e-4b7a-9d2f-%012u", id, id * 31);
    f.AddSectionEntry("GUID", v);
    f.AddSectionEntry("OCD", "");
    for (const char* sfx : {"", "_2"}) {
        std::string s(sfx);
        add(("tx_pkt" + s).c_str(), 1000 + id % 50000);
        f.AddSectionEntry(("tx_enc" + s).c_str(), "PCMA");
        add(("tx_pkt_sz" + s).c_str(), 160);
        add(("rx_pkt" + s).c_str(), 990 + id % 50000);
        f.AddSectionEntry(("rx_enc" + s).c_str(), "PCMA");
        add(("rx_pkt_sz" + s).c_str(), 160);
        add(("rx_lost" + s).c_str(), id % 7);
        add(("rx_jtr" + s).c_str(), id % 40);
        add(("rx_max_del" + s).c_str(), 20 + id % 90);
        f.AddSectionEntry(("rx_delay_incr" + s).c_str(), "N/A");
        add(("rx_delay_decr" + s).c_str(), id % 5);
        f.AddSectionEntry(("loc_addr" + s).c_str(), "192.168.10.20");
        add(("loc_port" + s).c_str(), 10000 + id % 20000);
        f.AddSectionEntry(("rem_addr" + s).c_str(), "10.200.31.7");
        add(("rem_port" + s).c_str(), 30000 + id % 20000);
    }
}

template <class F>
double BestSeconds(int runs, F f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned sections = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 10000;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string path = dir + "/record_file_bench.db";
    unlink(path.c_str());

    {
        std::unique_ptr<MultiSectionFile> f(Open(path));
        for (unsigned id = 1; id <= sections; ++id) AddCall(*f, id);
        f->Save(true, nullptr);
    }
    std::string text;
    Configuration::DurableFile::Read(path, &text);
    const double mb = text.size() / 1e6;

    const double load = BestSeconds(9, [&] { std::unique_ptr<MultiSectionFile> f(Open(path)); });

    std::unique_ptr<MultiSectionFile> f(Open(path));
    NoSyncFs noSync;
    System::Set(&noSync);
    const double saveNoSync = BestSeconds(9, [&] { f->Save(true, nullptr); });
    System::Set(nullptr);
    const double saveSync = BestSeconds(9, [&] { f->Save(true, nullptr); });
    f.reset();

    // Heap in use by a loaded file, allocator overhead included.
    malloc_trim(0);
    const size_t before = mallinfo2().uordblks;
    std::unique_ptr<MultiSectionFile> held(Open(path));
    const size_t after = mallinfo2().uordblks;
    const double perSection = double(after - before) / sections;
    const double textPerSection = double(text.size()) / sections;

    printf("sections: %u\n", sections);
    printf("file size: %.2f MB (%.0f bytes per section)\n", mb, textPerSection);
    printf("load: %.0f MB/s\n", mb / load);
    printf("save without fsync: %.0f MB/s\n", mb / saveNoSync);
    printf("save with fsync: %.0f MB/s\n", mb / saveSync);
    printf("memory per section: %.0f bytes (%.2fx its text)\n", perSection,
           perSection / textPerSection);
    unlink(path.c_str());
    return 0;
}
