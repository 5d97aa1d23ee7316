// Runs a fuzz target over files and folders of inputs once each, for builds
// without the fuzzer's own driver: the seed corpora and the reproducers of
// past findings become regression tests.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "no input %s\n", path.c_str());
        return 1;
    }
    if (S_ISDIR(info.st_mode)) {
        int count = 0;
        if (DIR* folder = opendir(path.c_str())) {
            while (dirent* entry = readdir(folder))
                if (entry->d_name[0] != '.')
                    count += replay(path + "/" + entry->d_name) == 0 ? 1 : 0;
            closedir(folder);
        }
        std::printf("%s: %d inputs\n", path.c_str(), count);
        return 0;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        failed += replay(argv[i]);
    return failed == 0 ? 0 : 1;
}
