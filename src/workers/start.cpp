#include "workers/start.hpp"

#include <cerrno>
#include <new>
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
        std::thread worker([body, config = std::move(config), shared = std::move(shared), request]() mutable {
            body(std::move(config), std::move(shared), request);
        });
        worker.detach();
    } catch (const std::system_error& error) {
        const int code = error.code().value();
        return std::unexpected(base::IoError::from_errno(code != 0 ? code : EAGAIN));
    } catch (const std::bad_alloc&) {
        // The thread's start-up state could not be allocated; the caller
        // treats this like any other refusal to create the thread.
        return std::unexpected(base::IoError::from_errno(ENOMEM));
    }
    return {};
}

}  // namespace

std::expected<void, base::IoError> start_acquisition_worker(config::Config config, AcquisitionHandle shared,
                                                            instrument::ScanRequest request) {
    return spawn_detached([](config::Config c, AcquisitionHandle h,
                             instrument::ScanRequest r) { run_acquisition(std::move(c), std::move(h), r); },
                          std::move(config), std::move(shared), request);
}

std::expected<void, base::IoError> start_live_worker(config::Config config, LiveHandle shared,
                                                     instrument::ScanRequest request) {
    return spawn_detached([](config::Config c, LiveHandle h,
                             instrument::ScanRequest r) { run_live_capture(std::move(c), std::move(h), r); },
                          std::move(config), std::move(shared), request);
}

}  // namespace vorlix::workers
