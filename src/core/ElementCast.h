#pragma once

#include "core/Element.h"

#include <type_traits>
#include <typeinfo>

// The run-time type test of an element: the element as `Kind`, or null when
// it is of another kind (or missing). The kinds are final classes, so
// comparing the exact type is the whole test, and cheaper than a general
// dynamic down-cast.
template <class Kind>
Kind* elementCast(Element* e)
{
    static_assert(std::is_final_v<Kind>, "element kinds are told apart by their exact type");
    if (e == nullptr || typeid(*e) != typeid(Kind))
        return nullptr;
    return static_cast<Kind*>(e);
}

template <class Kind>
const Kind* elementCast(const Element* e)
{
    return elementCast<Kind>(const_cast<Element*>(e));
}
