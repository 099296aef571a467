// Small hand-made result objects shared by the scoring tests.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "kedo/error.h"
#include "kedo/result.h"

namespace kedo::test {

// A phone spanning frames start..end (inclusive).
inline mlfPhone makePhone(const std::string& name, int start, int end, float cumLogLike = 0) {
    mlfPhone p;
    p.name = name;
    p.startFrame = start;
    p.endFrame = end;
    p.cumLogLike = cumLogLike;
    return p;
}

// A node over its phones' span, with the cumLogLike of its last phone.
inline mlfNode makeNode(const std::string& name, std::initializer_list<mlfPhone> phones,
                        const std::string& text = "") {
    mlfNode n;
    n.name = name;
    n.text = text;
    n.phones = phones;
    if (!n.phones.empty()) {
        n.startFrame = n.phones.front().startFrame;
        n.endFrame = n.phones.back().endFrame;
        n.cumLogLike = n.phones.back().cumLogLike;
    }
    return n;
}

// A node of one phone of the same name: sil, sp, filler.
inline mlfNode makePause(const std::string& name, int start, int end) {
    return makeNode(name, {makePhone(name, start, end)});
}

// The message of the KedoError that f raises; empty when it raises none.
inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KedoError& e) {
        return e.what();
    }
    return "";
}

}  // namespace kedo::test
