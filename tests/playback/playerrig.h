#pragma once

#include "audiooutput.h"
#include "messagewindow.h"
#include "onthread.h"
#include "opuspackets.h"
#include "output.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "scriptedrenderbackend.h"
#include "speaker.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

// The player as QML drives it, over a scripted device; the window records
// the messages.
class PlayerRig
{
public:
    output player;
    MessageWindow window;
    std::shared_ptr<RenderScript> script;

    // Makes the speaker once per test program (as the main window does).
    void initOnce()
    {
        if (!speaker::current())
            player.init(1.0, 0.5);
    }

    // A fresh device on a fresh script, clean playback state, no messages.
    void reset()
    {
        script = std::make_shared<RenderScript>();
        onWorker([s = script] {
            playback::releaseRenderDevice();
            playback::setBackendFactory([s] { return std::make_unique<ScriptedRenderBackend>(s); });
        });
        playbackState::instance().reset();
        settle();
        window.messages.clear();
        window.values.clear();
    }

    // Runs `work` on the worker thread and waits for it.
    template <typename F> void onWorker(F work) { runOn(speaker::current().data(), work); }

    // A synthesis reply of real Opus packets, made on the worker thread that
    // decodes it: the bytes then never cross threads through Qt's event queue
    // alone, which ThreadSanitizer cannot see through.
    QByteArray reply(int packets, double frequency = 440.0)
    {
        QByteArray made;
        onWorker([&made, packets, frequency] { made = testdata::opusPackets(packets, frequency); });
        return made;
    }

    // Lets everything already posted run: calls queued on the worker thread
    // (and the ones they post there), then messages queued to this thread.
    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            onWorker([] {});
            QCoreApplication::processEvents();
        }
    }

    [[nodiscard]] int deviceStarts() const { return script->starts(); }

    // The device is read on the worker thread, which owns it.
    [[nodiscard]] bool deviceStalled()
    {
        bool stalled = false;
        onWorker(
            [&stalled] { stalled = playback::currentDevice() && playback::currentDevice()->isStalled(); });
        return stalled;
    }
};
