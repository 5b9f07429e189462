#pragma once
// The camera stream profile a second stream plays ("Profile" + number, see
// streamProfileName): lists the camera's profiles, creates the profile when
// it is missing or corrects it when it is incomplete (or when asked to
// rewrite it), and reads it back, so that what is used is what the camera
// holds. Every acquisition starts with a list, so a failed or unanswered add
// never makes a second profile pile up on the camera.
//
// States: Idle --acquire--> Listing --(rate control mode)--> Checking
//         Checking --complete--> Ready (done(true))
//         Checking --missing/incomplete--> Changing --acknowledged--> Relisting
//         Relisting --complete--> Ready;  --still not--> Idle (done(false))
//         Listing, Changing, Relisting --error--> Idle (done(false))
//         any --acquire--> Listing (the running chain starts over; every waiting done
//                                   runs once with the outcome of the new one)
//         any --cancel--> Idle or Ready (the waiting dones are dropped, not called)
//
// Threading: the device's I/O context. Completions hold a weak handle and
// the acquisition number.
#include "StreamProfile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <netkit/http/HttpClient.h>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Vapixcam {

class DeviceServices;

class SecondStreamProfile final : public std::enable_shared_from_this<SecondStreamProfile>,
                                  public Orix::LoggerOwner {
public:
    enum class State { Idle, Listing, Checking, Changing, Relisting, Ready };
    using Done = std::function<void(bool ready)>;

    static std::shared_ptr<SecondStreamProfile> create(DeviceServices& device, std::uint32_t channel,
                                                       std::uint32_t stream, Orix::LoggerPtr logger,
                                                       const std::string& logPrefix);

    // codec: the channel's host codec name; force: rewrite the profile even
    // when it is complete (kept when an acquisition starts over). done runs
    // once, never inline.
    void acquire(const std::string& codec, bool force, Done done);
    void cancel();

    State state() const { return state_; }
    bool ready() const { return ready_; }
    // A parameter of the profile as the camera holds it; empty when absent.
    std::string parameter(const std::string& key) const;

private:
    SecondStreamProfile(DeviceServices& device, std::uint32_t channel, std::uint32_t stream);

    std::string listUri() const;
    void doList(bool afterChange);
    void handleList(std::uint64_t acquisition, bool afterChange, const boost::system::error_code& error,
                    const std::string& body, const Orix::http::HttpResponse& response,
                    const std::string& uri);
    void handleChecked(bool afterChange, const std::string& answer, const std::string& rateControl);
    void doChange(const StreamProfileCheck& check);
    void handleChanged(std::uint64_t acquisition, const std::string& action,
                       const boost::system::error_code& error, const std::string& body,
                       const Orix::http::HttpResponse& response, const std::string& uri);
    void finish(bool ready);

    DeviceServices& device_;
    std::uint32_t channel_;
    std::uint32_t stream_;
    State state_ = State::Idle;
    bool ready_ = false;
    std::uint64_t acquisition_ = 0;
    std::string codec_;
    bool force_ = false;
    std::vector<Done> waiting_;
    Orix::http::RequestHandlePtr request_;
    ProfileParameters parameters_;
};

} // namespace Vapixcam
