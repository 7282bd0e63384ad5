#include "OrvelundAudioProcessor.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <thread>

// An allocation or a contended lock on the audio thread is heard as a crackle. The test binary
// counts every heap allocation and every mutex lock, but only on a thread that has armed the
// counters; the link wraps malloc and pthread_mutex_lock (see tests/CMakeLists.txt) for our code
// and JUCE, and operator new is replaced for everything in the process.
namespace realtime
{
thread_local bool armed = false;
std::atomic<int> allocations{0};
std::atomic<int> foreignLocks{0};
std::atomic<int> callbackLocks{0};
std::atomic<const void*> allowedLock{nullptr};

void countAllocation()
{
    if (armed)
        allocations.fetch_add(1, std::memory_order_relaxed);
}

void* allocate(std::size_t size)
{
    countAllocation();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    countAllocation();
    const auto align = (std::size_t)alignment;
    if (void* memory = std::aligned_alloc(align, (size + align - 1) / align * align))
        return memory;
    throw std::bad_alloc();
}
} // namespace realtime

extern "C"
{
    void* __real_malloc(std::size_t size);
    void* __real_calloc(std::size_t count, std::size_t size);
    void* __real_realloc(void* memory, std::size_t size);
    int __real_pthread_mutex_lock(pthread_mutex_t* mutex);

    void* __wrap_malloc(std::size_t size)
    {
        realtime::countAllocation();
        return __real_malloc(size);
    }
    void* __wrap_calloc(std::size_t count, std::size_t size)
    {
        realtime::countAllocation();
        return __real_calloc(count, size);
    }
    void* __wrap_realloc(void* memory, std::size_t size)
    {
        realtime::countAllocation();
        return __real_realloc(memory, size);
    }
    int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex)
    {
        if (realtime::armed)
        {
            if (mutex == realtime::allowedLock.load())
                realtime::callbackLocks.fetch_add(1, std::memory_order_relaxed);
            else
                realtime::foreignLocks.fetch_add(1, std::memory_order_relaxed);
        }
        return __real_pthread_mutex_lock(mutex);
    }
}

// clang-format off
void* operator new(std::size_t size) { return realtime::allocate(size); }
void* operator new[](std::size_t size) { return realtime::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { try { return realtime::allocate(size); } catch (...) { return nullptr; } }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { try { return realtime::allocate(size); } catch (...) { return nullptr; } }
void* operator new(std::size_t size, std::align_val_t alignment) { return realtime::allocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return realtime::allocateAligned(size, alignment); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
// clang-format on

namespace
{
struct Counts
{
    int allocations;
    int foreignLocks;
    int callbackLocks;
};

// Runs the blocks on a thread of their own, as a host's audio thread would, counting only there.
// The MIDI buffers are built beforehand: filling them allocates, rendering them must not.
Counts renderArmed(OrvelundAudioProcessor& processor, std::vector<juce::MidiBuffer>& blocks, int numSamples,
                   const std::function<void(int)>& beforeBlock = {})
{
    juce::AudioBuffer<float> buffer(2, numSamples);
    realtime::allowedLock = &processor.getCallbackLock(); // the CriticalSection is its pthread mutex
    realtime::allocations = 0;
    realtime::foreignLocks = 0;
    realtime::callbackLocks = 0;
    std::thread audio(
        [&]
        {
            for (size_t i = 0; i < blocks.size(); ++i)
            {
                if (beforeBlock)
                    beforeBlock((int)i); // the host's side, not counted
                realtime::armed = true;
                {
                    const juce::ScopedLock lock(processor.getCallbackLock());
                    processor.processBlock(buffer, blocks[i]);
                }
                realtime::armed = false;
            }
        });
    audio.join();
    return {realtime::allocations.load(), realtime::foreignLocks.load(), realtime::callbackLocks.load()};
}
} // namespace

TEST(RealTimeSafety, SteadyBlocksNeitherAllocateNorLockAnythingButTheCallbackLock)
{
    OrvelundAudioProcessor processor;
    constexpr int blockSize = 256;
    processor.prepareToPlay(48000.0, blockSize);

    // Notes (more than there are voices, so voices are stolen), the pedal, bends and the wheel,
    // a flood past the queue's capacity and host-stop messages, while the host automates every
    // parameter between blocks.
    std::vector<juce::MidiBuffer> blocks(40);
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        auto& midi = blocks[i];
        for (int n = 0; n < 8; ++n)
            midi.addEvent(
                juce::MidiMessage::noteOn(1 + n, 30 + (int)(i * 8 + (size_t)n) % 90, (juce::uint8)90),
                n * 30);
        midi.addEvent(juce::MidiMessage::noteOff(1, 30 + (int)(i * 8) % 90), 250);
        midi.addEvent(juce::MidiMessage::pitchWheel(1, (int)(i * 400) % 16384), 7);
        midi.addEvent(juce::MidiMessage::controllerEvent(1, 1, (int)i * 3 % 128), 9);
        midi.addEvent(juce::MidiMessage::controllerEvent(1, 64, i % 8 < 4 ? 127 : 0), 11);
        if (i == 20)
            for (int n = 0; n < 5000; ++n)
                midi.addEvent(juce::MidiMessage::noteOn(1, n % 128, (juce::uint8)1), n % blockSize);
        if (i % 10 == 9)
            midi.addEvent(juce::MidiMessage::controllerEvent(1, i % 20 == 9 ? 120 : 123, 0), 100);
        if (i % 13 == 5) // a SysEx longer than the processor's local copy
            midi.addEvent(juce::MidiMessage::createSysExMessage("orvelund-sysex-of-some-length", 29), 3);
    }
    // Warm up first: the first block may size what a host did not announce.
    std::vector<juce::MidiBuffer> warmUp(2);
    renderArmed(processor, warmUp, blockSize);

    const auto counts = renderArmed(processor, blocks, blockSize,
                                    [&processor](int block)
                                    {
                                        for (int p = 0; p < 31; ++p)
                                            processor.getHostParameter(p).setValueNotifyingHost(
                                                (float)((block * 7 + p * 3) % 11) / 10.0f);
                                    });
    EXPECT_EQ(counts.allocations, 0) << "heap allocations on the audio thread";
    EXPECT_EQ(counts.foreignLocks, 0) << "locks other than the callback lock";
    EXPECT_GT(counts.callbackLocks, 0) << "the counters see the callback lock";
}

TEST(RealTimeSafety, BoundControllersDoNotAllocate)
{
    // Controllers bound to parameters notify the host through JUCE's parameter objects, which
    // take their own listener locks; they must still not allocate.
    OrvelundAudioProcessor processor;
    processor.prepareToPlay(44100.0, 128);
    std::vector<juce::MidiBuffer> blocks(20);
    for (size_t i = 0; i < blocks.size(); ++i)
        for (int controllerNumber : {7, 19, 30, 48})
            blocks[i].addEvent(juce::MidiMessage::controllerEvent(1, controllerNumber, (int)(i * 13) % 128),
                               (int)i);
    std::vector<juce::MidiBuffer> warmUp(2);
    renderArmed(processor, warmUp, 128);
    EXPECT_EQ(renderArmed(processor, blocks, 128).allocations, 0);
    EXPECT_EQ(processor.getHostParameter(0).get(), (float)((19 * 13) % 128) / 127.0f);
}
