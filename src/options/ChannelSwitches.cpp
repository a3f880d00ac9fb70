// The channel switches -d, -s and -m: which channels are converted and
// which are merged into which, each change confirmed by a message.
#include "options/ChannelSwitches.h"

#include "core/Message.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace {

// A channel that is a merge target (it has sources) or a merge source.
bool beingMerged(const Settings& settings, int ch)
{
    if (!settings.mergeList[ch].empty())
        return true;
    for (const auto& list : settings.mergeList)
        if (std::find(list.begin(), list.end(), ch) != list.end())
            return true;
    return false;
}

// One number of a -m list: the target first, then its sources.
bool addSource(Settings& settings, int& target, int number)
{
    if (target != 0 && number == target) {
        report(Code::MergeIntoItself, number, number);
        return false;
    }
    if (beingMerged(settings, number - 1)) {
        report(Code::MergedTwice, number, number);
        return false;
    }
    if (target == 0)
        target = number;
    else
        settings.mergeList[target - 1].push_back(number - 1);
    return true;
}

// "Merging channels 2,(3) into channel 1.": inactive sources in parentheses.
void confirmMerge(const Settings& settings, int target)
{
    const std::vector<int>& sources = settings.mergeList[target - 1];
    tell(Code::MergingChannels, sources.size() > 1 ? "s" : "");
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const int source = sources[i];
        tell(settings.active[source] ? Code::MergeSource : Code::MergeSourceInactive, source + 1);
        if (i + 1 < sources.size())
            tell(Code::MergeSeparator);
    }
    tell(Code::MergeTarget, target);
}

} // namespace

void deactivateAll(Settings& settings)
{
    for (int ch = 0; ch < channelCount; ++ch)
        if (!settings.mergeList[ch].empty())
            report(Code::MergeTargetDeactivated, ch + 1, ch + 1);
    settings.active.fill(false);
    tell(Code::AllDeactivated);
}

ListEnd deactivateChannels(Settings& settings, const std::string& arg)
{
    return readChannels(arg, [&settings](int n) {
        if (settings.active[n - 1])
            tell(Code::Deactivating, n);
        else
            tell(Code::AlreadyDeactivated, n);
        if (!settings.mergeList[n - 1].empty())
            report(Code::MergeTargetDeactivated, n, n);
        settings.active[n - 1] = false;
        return true;
    });
}

ListEnd activateChannels(Settings& settings, const std::string& arg)
{
    return readChannels(arg, [&settings](int n) {
        if (settings.active[n - 1])
            tell(Code::AlreadyActive, n);
        else
            tell(Code::Activating, n);
        settings.active[n - 1] = true;
        return true;
    });
}

bool mergeAll(Settings& settings)
{
    for (int ch = 0; ch < channelCount; ++ch) {
        if (beingMerged(settings, ch)) {
            report(Code::MergedTwice, ch + 1, ch + 1);
            return false;
        }
    }
    for (int ch = 1; ch < channelCount; ++ch)
        settings.mergeList[0].push_back(ch);
    if (!settings.active[0])
        tell(Code::ReactivatingFirst);
    settings.active[0] = true;
    tell(Code::MergingAll);
    return true;
}

ListEnd mergeChannels(Settings& settings, const std::string& arg)
{
    if (arg.find(',') == std::string::npos)
        return ListEnd::Malformed;
    int target = 0; // 1-based; 0 until the first number is read
    const ListEnd end = readChannels(arg, [&](int n) { return addSource(settings, target, n); });
    if (end != ListEnd::Done)
        return end;
    if (target == 0 || settings.mergeList[target - 1].empty())
        return ListEnd::Malformed;
    if (!settings.active[target - 1])
        tell(Code::Reactivating, target);
    settings.active[target - 1] = true;
    confirmMerge(settings, target);
    return ListEnd::Done;
}
