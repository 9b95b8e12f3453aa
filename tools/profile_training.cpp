// Build tool: runs an instrumented build of the core over the project's own
// Markdown (the dialect reference, the README, the sample and the Markdown of
// every fixture case), so that the compiler can lay out the released core for
// the branches real documents take. It never sees the benchmark corpus.
//
// Usage: profile_training REPETITIONS FILE...
// A file whose first line starts with "%%% case" is a fixture file: only the
// Markdown of its cases is converted, not the expected output.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "quenlor.hpp"

namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The Markdown of each case of a fixture file: the lines between
// "%%% case" (and its "%%% options" line) and "%%% expect".
std::vector<std::string> fixture_inputs(std::string_view text) {
    std::vector<std::string> out;
    bool in_case = false;
    std::string current;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (line.starts_with("%%% case")) {
            in_case = true;
            current.clear();
        } else if (line.starts_with("%%% expect")) {
            if (in_case) out.push_back(current);
            in_case = false;
        } else if (in_case && !line.starts_with("%%% ")) {
            current.append(line);
            current.push_back('\n');
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s REPETITIONS FILE...\n", argv[0]);
        return 2;
    }
    const int reps = std::atoi(argv[1]);
    std::vector<std::string> docs;
    for (int i = 2; i < argc; ++i) {
        std::string text = read_file(argv[i]);
        if (text.starts_with("%%% case")) {
            for (std::string& d : fixture_inputs(text)) docs.push_back(std::move(d));
        } else {
            docs.push_back(std::move(text));
        }
    }
    quenlor::Options plain;
    std::size_t bytes = 0;
    for (int r = 0; r < reps; ++r)
        for (const std::string& d : docs) bytes += quenlor::to_xhtml(d, plain).size();
    std::printf("profile training: %zu documents, %zu bytes of output\n", docs.size(), bytes);
    return 0;
}
