// Throughput benchmark: converts the bench corpus with quenlor's core and, when
// they were found at build time, with cmark and md4c, in one run; prints MB/s
// (median of repetitions, warm) and quenlor's ratio to each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "quenlor.hpp"

#ifdef QUENLOR_HAVE_CMARK
#include <cmark.h>
#endif
#ifdef QUENLOR_HAVE_MD4C
#include <md4c-html.h>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<std::string> load_corpus(const fs::path& path) {
    std::vector<fs::path> files;
    if (fs::is_directory(path)) {
        for (const auto& e : fs::directory_iterator(path))
            if (e.path().extension() == ".md") files.push_back(e.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    std::vector<std::string> docs;
    for (const auto& f : files) {
        // Read straight into a string of the file's size: no second copy, so
        // the peak memory of --once reflects the conversion, not the loading.
        std::ifstream in(f, std::ios::binary);
        std::string text(static_cast<std::size_t>(fs::file_size(f)), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        docs.push_back(std::move(text));
    }
    return docs;
}

// Processor time of this thread: on a shared machine, wall time mostly
// measures the neighbours.
double cpu_now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// --once FILE: one conversion of one file (for time and peak-memory measurements
// from outside); prints the input size and the conversion time.
int convert_once(const char* path) {
    auto docs = load_corpus(path);
    if (docs.empty()) return 1;
    quenlor::Options options;
    double c0 = cpu_now();
    auto t0 = std::chrono::steady_clock::now();
    std::size_t out = quenlor::to_xhtml(docs[0], options).size();
    auto t1 = std::chrono::steady_clock::now();
    double c1 = cpu_now();
    std::printf("input %zu bytes, output %zu bytes, wall %.4f s, cpu %.4f s\n", docs[0].size(), out,
                std::chrono::duration<double>(t1 - t0).count(), c1 - c0);
    return 0;
}

// The whole corpus as one document, with and without a thousand abbreviations
// defined at its top (none of which occurs in it), so that the definitions are
// a negligible part of the bytes.
std::pair<std::string, std::string> joined_with_abbreviations(const std::vector<std::string>& docs) {
    std::string joined;
    for (const auto& d : docs) {
        joined += d;
        joined += "\n\n";
    }
    std::string defs;
    for (int i = 0; i < 1000; ++i) defs += "*[QX" + std::to_string(i) + "Z]: abbreviation " + std::to_string(i) + "\n";
    defs += "\n";
    return {joined, defs + joined};
}

struct Result {
    std::string name;
    double mb_per_s = 0;
};

using Converter = std::function<std::size_t(const std::string&)>;

// Median throughput of each converter over `reps` passes over the whole corpus,
// after one warm-up pass each. The converters take turns within every pass, so
// that a change in the machine's load hits them alike and their ratios hold.
std::vector<double> measure(const std::vector<std::string>& docs, std::size_t bytes, int reps,
                            const std::vector<Converter>& converters) {
    std::size_t sink = 0;
    for (const auto& convert : converters)
        for (const auto& d : docs) sink += convert(d);
    std::vector<std::vector<double>> rates(converters.size());
    for (int r = 0; r < reps; ++r) {
        for (std::size_t c = 0; c < converters.size(); ++c) {
            double t0 = cpu_now();
            for (const auto& d : docs) sink += converters[c](d);
            double secs = cpu_now() - t0;
            rates[c].push_back(static_cast<double>(bytes) / 1e6 / secs);
        }
    }
    if (sink == 42) std::puts("");  // keep the work observable
    std::vector<double> medians;
    for (auto& v : rates) {
        std::sort(v.begin(), v.end());
        medians.push_back(v[v.size() / 2]);
    }
    return medians;
}

#ifdef QUENLOR_HAVE_MD4C
void md4c_append(const MD_CHAR* text, MD_SIZE size, void* user) {
    static_cast<std::string*>(user)->append(text, size);
}
#endif

}  // namespace

static int run(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) return convert_once(argv[2]);
    const int reps = argc > 2 ? std::atoi(argv[2]) : 9;
    if (argc < 2 || reps < 1) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE [REPETITIONS]\n       %s --once FILE\n", argv[0], argv[0]);
        return 2;
    }
    auto docs = load_corpus(argv[1]);
    std::size_t bytes = 0;
    for (const auto& d : docs) bytes += d.size();
    if (bytes == 0) {
        std::fprintf(stderr, "empty corpus: %s\n", argv[1]);
        return 1;
    }
    std::printf("corpus: %zu documents, %.2f MB, median of %d passes (thread CPU time)\n", docs.size(), bytes / 1e6, reps);

    std::vector<Result> results;
    std::vector<Converter> converters;
    quenlor::Options options;
    // Node memory is kept from one document to the next, as the Python module
    // does; the one-off form (fresh memory for every call) is measured too.
    quenlor::NodeArena arena;
    auto convert = [&](const std::string& d) { return quenlor::to_xhtml(d, options, arena).size(); };
    results.push_back({"quenlor"});
    converters.push_back(convert);
#ifdef QUENLOR_HAVE_CMARK
    results.push_back({"cmark"});
    converters.push_back([](const std::string& d) {
        char* html = cmark_markdown_to_html(d.data(), d.size(), CMARK_OPT_DEFAULT);
        std::size_t n = std::strlen(html);
        std::free(html);
        return n;
    });
#endif
#ifdef QUENLOR_HAVE_MD4C
    results.push_back({"md4c"});
    converters.push_back([](const std::string& d) {
        std::string out;
        out.reserve(d.size() + d.size() / 4);
        md_html(d.data(), static_cast<MD_SIZE>(d.size()), md4c_append, &out, MD_DIALECT_GITHUB, 0);
        return out.size();
    });
#endif
    converters.push_back([&](const std::string& d) { return quenlor::to_xhtml(d, options).size(); });
    std::vector<double> rates = measure(docs, bytes, reps, converters);
    for (std::size_t i = 0; i < results.size(); ++i) results[i].mb_per_s = rates[i];
    const double one_off_rate = rates.back();
    // The corpus joined into one document, without and with a thousand abbreviations.
    auto [joined, joined_abbr] = joined_with_abbreviations(docs);
    // (Each converter ignores its argument and converts its own document, so that the two take turns.)
    std::vector<double> joined_rates =
        measure({std::string()}, joined.size(), reps,
                {[&](const std::string&) { return convert(joined); }, [&](const std::string&) { return convert(joined_abbr); }});
    double joined_rate = joined_rates[0], abbr_rate = joined_rates[1];
    for (const auto& r : results) std::printf("%-10s %9.1f MB/s\n", r.name.c_str(), r.mb_per_s);
    std::printf("quenlor, fresh node memory for every call: %9.1f MB/s (%.2fx)\n", one_off_rate,
                one_off_rate / results[0].mb_per_s);
    std::printf("quenlor, corpus as one document: %9.1f MB/s; with 1000 abbreviations defined: %9.1f MB/s (%.2fx)\n",
                joined_rate, abbr_rate, abbr_rate / joined_rate);
    for (std::size_t i = 1; i < results.size(); ++i)
        std::printf("quenlor / %-6s %6.2fx\n", results[i].name.c_str(), results[0].mb_per_s / results[i].mb_per_s);
    if (results.size() == 1) std::printf("(install libcmark-dev and libmd4c-html0-dev to compare in the same run)\n");
    return 0;
}

int main(int argc, char** argv) {
    // A missing or unreadable corpus is reported, not left to terminate the run.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
}
