#pragma once
// The pan/tilt/zoom head of a PTZ model, one per PTZ camera number (view
// area). Nothing runs in the background: a continuous move, a guard tour or a
// recorded tour is a start time and a rate, and every read computes where the
// head is "now". The caller passes the time, so tests step it by hand.
//
// Presets live in the model's parameter tree (PTZ.Preset.P<k>.Position.P<n>
// with Name and Data) and guard tours in GuardTour.G<g>, exactly where
// param.cgi lists them; the caller holds the model's lock for every call.
#include "Model.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

using PtzClock = std::chrono::steady_clock;

struct PtzPosition {
    double pan = 0.0;   // degrees
    double tilt = 0.0;  // degrees
    double zoom = 1.0;  // 1..MaxZoom
    double focus = 5000.0;
    double iris = 5000.0;
};

struct PtzLimits {
    double minPan = -180, maxPan = 180;
    double minTilt = -90, maxTilt = 90;
    double minZoom = 1, maxZoom = 9999;
    double minFocus = 1, maxFocus = 9999;
    double minIris = 1, maxIris = 9999;
    double minFieldAngle = 2.2, maxFieldAngle = 62.3; // horizontal, degrees
    bool focus = false; // the head has focus / iris axes
    bool iris = false;

    PtzPosition clamp(PtzPosition p) const;
    // Horizontal field of view at a zoom value, and back: the magnification
    // grows linearly with the zoom value from 1 to MaxFieldAngle/MinFieldAngle.
    double fieldAngle(double zoom) const;
    double zoomForFieldAngle(double angle) const;
};

// Velocities of a continuous move, in units per second.
struct PtzVelocity {
    double pan = 0, tilt = 0, zoom = 0, focus = 0, iris = 0;
    bool moving() const { return pan != 0 || tilt != 0 || zoom != 0 || focus != 0 || iris != 0; }
};

// A PTZ request's failure, worded as the camera words it.
struct PtzError {
    std::string argument;
    std::string message;
};

class PtzHead {
public:
    // Reads the cameras, limits and support flags of the model's PTZ group.
    explicit PtzHead(const Model& model, unsigned maxPresets = 100);

    static bool available(const Model& model);

    unsigned cameras() const { return static_cast<unsigned>(heads_.size()); }
    unsigned defaultCamera() const { return defaultCamera_; }
    bool validCamera(unsigned camera) const { return camera >= 1 && camera <= cameras(); }
    const PtzLimits& limits(unsigned camera) const { return head(camera).limits; }
    bool speedControl(unsigned camera) const { return head(camera).speedControl; }
    unsigned speed(unsigned camera) const { return head(camera).speed; }
    void setSpeed(unsigned camera, unsigned speed) { head(camera).speed = speed; }
    bool autofocus(unsigned camera) const { return head(camera).autofocus; }
    bool autoiris(unsigned camera) const { return head(camera).autoiris; }
    void setAutofocus(unsigned camera, bool on) { head(camera).autofocus = on; }
    void setAutoiris(unsigned camera, bool on) { head(camera).autoiris = on; }
    const std::vector<std::string>& auxiliaries(unsigned camera) const { return head(camera).auxiliaries; }

    // Where the head is at `now`: a running tour's point, else the last
    // position moved on by the continuous velocity, within the limits.
    PtzPosition position(Model& model, unsigned camera, PtzClock::time_point now);
    const PtzVelocity& velocity(unsigned camera) const { return head(camera).velocity; }

    // Operator moves. Each settles the head at `now` and stops a running
    // tour first, as an operator's command takes over the head.
    void moveTo(Model& model, unsigned camera, const PtzPosition& target, PtzClock::time_point now);
    void continuous(Model& model, unsigned camera, const PtzVelocity& velocity, PtzClock::time_point now);
    // Speeds -100..100 as ptz.cgi takes them; nullopt leaves an axis as it is.
    struct Speeds {
        std::optional<double> pan, tilt, zoom, focus, iris;
    };
    void continuousSpeeds(Model& model, unsigned camera, const Speeds& speeds, PtzClock::time_point now);
    // Pixel (x, y) of an image w x h becomes the centre; zoomPercent > 100
    // narrows the view by that factor, < 100 widens it.
    void areaZoom(Model& model, unsigned camera, double x, double y, double width, double height,
                  std::optional<double> zoomPercent, PtzClock::time_point now);

    // Server presets of one camera: number -> name and stored position.
    struct Preset {
        unsigned number = 0;
        std::string name;
        std::string data; // "pan=...:tilt=...:zoom=..."
        std::optional<PtzPosition> position;
    };
    std::vector<Preset> presets(const Model& model, unsigned camera) const;
    unsigned homePreset(const Model& model, unsigned camera) const; // 0: none
    std::optional<PtzError> storePreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                        const std::optional<std::string>& name, PtzClock::time_point now,
                                        bool home = false);
    std::optional<PtzError> removePreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                         const std::optional<std::string>& name);
    std::optional<PtzError> gotoPreset(Model& model, unsigned camera, std::optional<unsigned> number,
                                       const std::optional<std::string>& name, PtzClock::time_point now);

    // Guard tours are GuardTour.G<g> groups with Running=yes; syncTours
    // notices tours started or stopped through param.cgi.
    void syncTours(Model& model, PtzClock::time_point now);
    std::optional<unsigned> runningGuardTour(unsigned camera) const { return head(camera).guardTour; }

    // Recorded tours are fixed movement recordings, numbered from 0.
    static constexpr unsigned kRecordedTours = 2;
    bool playRecordedTour(Model& model, unsigned camera, unsigned id, bool loop, PtzClock::time_point now);
    bool stopRecordedTour(Model& model, unsigned camera, unsigned id, PtzClock::time_point now);
    // nullopt also once a tour played without loop has come to its end.
    std::optional<unsigned> runningRecordedTour(unsigned camera, PtzClock::time_point now) const;

private:
    struct Head {
        PtzLimits limits;
        PtzPosition base; // at `since`, before the velocity applies
        PtzVelocity velocity;
        PtzClock::time_point since{};
        bool speedControl = false;
        unsigned speed = 100;
        bool autofocus = true;
        bool autoiris = true;
        std::vector<std::string> auxiliaries;
        std::optional<unsigned> guardTour;
        PtzPosition tourFrom;
        PtzClock::time_point tourStart{};
        std::optional<unsigned> recordedTour;
        bool recordedLoop = true;
    };

    Head& head(unsigned camera) { return heads_.at(camera - 1); }
    const Head& head(unsigned camera) const { return heads_.at(camera - 1); }
    // Fixes the head where it is at `now` and ends any tour.
    void settle(Model& model, unsigned camera, PtzClock::time_point now);
    std::optional<PtzPosition> guardTourPosition(const Model& model, unsigned camera, PtzClock::time_point now) const;
    PtzPosition recordedTourPosition(unsigned camera, PtzClock::time_point now) const;
    ParamGroup* presetGroup(Model& model, unsigned camera, bool create) const;
    const ParamGroup* presetGroup(const Model& model, unsigned camera) const;
    std::string presetData(unsigned camera, const PtzPosition& p) const;

    std::vector<Head> heads_;
    unsigned defaultCamera_ = 1;
    unsigned maxPresets_;
};

// A whole decimal number ("12", "-3.5", "1e2"); nullopt for anything else.
std::optional<double> parseDecimal(const std::string& text);

// "pan=1.5:tilt=-3:zoom=200" -> a position (other fields from `base`).
std::optional<PtzPosition> parsePresetData(const std::string& data, PtzPosition base = {});

// A preset name as the camera accepts it: 1..31 characters without " < > ~ :.
bool validPresetName(const std::string& name);

} // namespace Camsim
