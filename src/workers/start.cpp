#include "workers/start.hpp"

#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

#include "workers/acquisition.hpp"
#include "workers/live.hpp"

namespace vorlix::workers {

namespace {

// The thread owns the configuration copy, the record handle and the request;
// if it never starts, they are released with the failed std::thread.
template <class Body, class Handle>
std::expected<void, base::IoError> spawn_detached(Body body, config::Config config, Handle shared,
                                                  instrument::ScanRequest request) {
    try {
        std::thread worker(
            [body, config = std::move(config), shared = std::move(shared), request]() mutable {
                body(std::move(config), std::move(shared), request);
            });
        worker.detach();
    } catch (const std::system_error& error) {
        const int code = error.code().value();
        return std::unexpected(base::IoError::from_errno(code != 0 ? code : EAGAIN));
    }
    return {};
}

}  // namespace

std::expected<void, base::IoError> start_acquisition_worker(config::Config config,
                                                            AcquisitionHandle shared,
                                                            instrument::ScanRequest request) {
    return spawn_detached(&run_acquisition, std::move(config), std::move(shared), request);
}

std::expected<void, base::IoError> start_live_worker(config::Config config, LiveHandle shared,
                                                     instrument::ScanRequest request) {
    return spawn_detached(&run_live_capture, std::move(config), std::move(shared), request);
}

}  // namespace vorlix::workers
