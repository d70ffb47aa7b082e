// The bootstrap at the top of the install folder: runs bin/x64/quorvalent
// beside it with the same arguments, in the same process.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
        std::fprintf(stderr, "quorvalent: cannot find the install folder: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::string program(self, size_t(n));
    program = program.substr(0, program.rfind('/') + 1) + "bin/x64/quorvalent";
    std::vector<char*> args{program.data()};
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
    std::fprintf(stderr, "quorvalent: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}
