// Throughput benchmark: converts the bench corpus with quenlor's core and, when
// they were found at build time, with cmark and md4c, in one run; prints MB/s
// (median of repetitions, warm) and quenlor's ratio to each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
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
        std::ifstream in(f, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        docs.push_back(ss.str());
    }
    return docs;
}

struct Result {
    std::string name;
    double mb_per_s = 0;
};

// Median throughput over `reps` passes over the whole corpus, after one warm-up pass.
double measure(const std::vector<std::string>& docs, std::size_t bytes, int reps,
               const std::function<std::size_t(const std::string&)>& convert) {
    std::size_t sink = 0;
    for (const auto& d : docs) sink += convert(d);
    std::vector<double> rates;
    for (int r = 0; r < reps; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        for (const auto& d : docs) sink += convert(d);
        auto t1 = std::chrono::steady_clock::now();
        double secs = std::chrono::duration<double>(t1 - t0).count();
        rates.push_back(static_cast<double>(bytes) / 1e6 / secs);
    }
    if (sink == 42) std::puts("");  // keep the work observable
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

#ifdef QUENLOR_HAVE_MD4C
void md4c_append(const MD_CHAR* text, MD_SIZE size, void* user) {
    static_cast<std::string*>(user)->append(text, size);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE [REPETITIONS]\n", argv[0]);
        return 2;
    }
    auto docs = load_corpus(argv[1]);
    int reps = argc > 2 ? std::atoi(argv[2]) : 9;
    std::size_t bytes = 0;
    for (const auto& d : docs) bytes += d.size();
    if (bytes == 0) {
        std::fprintf(stderr, "empty corpus: %s\n", argv[1]);
        return 1;
    }
    std::printf("corpus: %zu documents, %.2f MB, median of %d passes\n", docs.size(), bytes / 1e6, reps);

    std::vector<Result> results;
    quenlor::Options options;
    results.push_back({"quenlor", measure(docs, bytes, reps, [&](const std::string& d) {
                           return quenlor::to_xhtml(d, options).size();
                       })});
#ifdef QUENLOR_HAVE_CMARK
    results.push_back({"cmark", measure(docs, bytes, reps, [](const std::string& d) {
                           char* html = cmark_markdown_to_html(d.data(), d.size(), CMARK_OPT_DEFAULT);
                           std::size_t n = std::strlen(html);
                           std::free(html);
                           return n;
                       })});
#endif
#ifdef QUENLOR_HAVE_MD4C
    results.push_back({"md4c", measure(docs, bytes, reps, [](const std::string& d) {
                           std::string out;
                           out.reserve(d.size() + d.size() / 4);
                           md_html(d.data(), static_cast<MD_SIZE>(d.size()), md4c_append, &out,
                                   MD_DIALECT_GITHUB, 0);
                           return out.size();
                       })});
#endif
    for (const auto& r : results) std::printf("%-10s %9.1f MB/s\n", r.name.c_str(), r.mb_per_s);
    for (std::size_t i = 1; i < results.size(); ++i)
        std::printf("quenlor / %-6s %6.2fx\n", results[i].name.c_str(), results[0].mb_per_s / results[i].mb_per_s);
    if (results.size() == 1) std::printf("(install libcmark-dev and libmd4c-html0-dev to compare in the same run)\n");
    return 0;
}
