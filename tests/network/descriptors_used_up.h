#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace corvane::testing {

// Every descriptor this process may have is taken while it lives.
struct DescriptorsUsedUp {
    DescriptorsUsedUp() {
        getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit low{std::min<rlim_t>(saved.rlim_cur, 1024), saved.rlim_max};
        setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            taken.push_back(fd);
        }
    }
    ~DescriptorsUsedUp() {
        std::ranges::for_each(taken, close);
        setrlimit(RLIMIT_NOFILE, &saved);
    }
    rlimit saved{};
    std::vector<int> taken;
};

}  // namespace corvane::testing
