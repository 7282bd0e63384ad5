#include "HostRenderer.h"

#include <algorithm>
#include <cmath>

namespace
{
class RenderPlayHead : public juce::AudioPlayHead
{
public:
    RenderPlayHead(double tempoToReport, double rate)
        : tempo(tempoToReport)
        , sampleRate(rate)
    {
    }

    void setTime(int64_t samples) { timeInSamples = samples; }

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        const double seconds = (double)timeInSamples / sampleRate;
        info.setBpm(tempo);
        info.setTimeSignature(TimeSignature{});
        info.setTimeInSamples(timeInSamples);
        info.setTimeInSeconds(seconds);
        info.setPpqPosition(seconds * tempo / 60.0);
        info.setIsPlaying(true);
        return info;
    }

private:
    double tempo;
    double sampleRate;
    int64_t timeInSamples = 0;
};
} // namespace

HostRenderer::HostRenderer(RenderSettings renderSettings)
    : settings(renderSettings)
{
}

bool HostRenderer::render(juce::AudioProcessor& processor, const std::vector<TimedMidiEvent>& events,
                          int64_t totalSamples, const BlockSink& sink, const Progress& progress)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.outputBuses.add(settings.mono ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo());
    if (!processor.setBusesLayout(layout))
        return false;

    const int blockSize = settings.blockSize;
    const int channels = settings.mono ? 1 : 2;
    processor.setRateAndBufferSizeDetails(settings.sampleRate, blockSize);
    processor.prepareToPlay(settings.sampleRate, blockSize);

    std::optional<RenderPlayHead> playHead;
    if (settings.playHeadTempo)
        playHead.emplace(*settings.playHeadTempo, settings.sampleRate);
    processor.setPlayHead(playHead ? &*playHead : nullptr);

    juce::AudioBuffer<float> buffer(channels, blockSize);
    juce::MidiBuffer midi;
    size_t next = 0;
    bool ok = true;

    for (int64_t start = 0; start < totalSamples && ok; start += blockSize)
    {
        buffer.clear();
        midi.clear();
        const int64_t end = start + blockSize;
        for (; next < events.size() && events[next].samplePosition < end; ++next)
            if (events[next].samplePosition >= start)
                midi.addEvent(events[next].message, (int)(events[next].samplePosition - start));

        if (playHead)
            playHead->setTime(start);
        {
            const juce::ScopedLock lock(processor.getCallbackLock());
            processor.processBlock(buffer, midi);
        }

        ok = sink(buffer, (int)std::min<int64_t>(blockSize, totalSamples - start));
        if (progress)
            progress(std::min(end, totalSamples), totalSamples);
    }

    processor.releaseResources();
    processor.setPlayHead(nullptr);
    return ok;
}

void sortEvents(std::vector<TimedMidiEvent>& events)
{
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedMidiEvent& a, const TimedMidiEvent& b)
                     { return a.samplePosition < b.samplePosition; });
}

int64_t renderLength(const std::vector<TimedMidiEvent>& events, double sampleRate, double tailSeconds)
{
    int64_t last = -1;
    for (const auto& event : events)
        last = std::max(last, event.samplePosition);
    return last + 1 + (int64_t)std::llround(tailSeconds * sampleRate);
}
