// Runs whole passes of `work` over `items` for at least `seconds` and
// returns MB/s, counting `size(item)` bytes per item.
#pragma once

#include <chrono>
#include <cstddef>

template <class Items, class Size, class Work>
double throughput(const Items& items, double seconds, Size&& size, Work&& work) {
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        for (const auto& item : items) {
            work(item);
            bytes += size(item);
        }
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return static_cast<double>(bytes) / elapsed / 1e6;
}
