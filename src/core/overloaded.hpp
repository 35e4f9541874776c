// std::visit over a variant with one lambda per alternative.
#pragma once

namespace tess {

template <class... F>
struct overloaded : F... {
    using F::operator()...;
};
template <class... F>
overloaded(F...) -> overloaded<F...>;

}  // namespace tess
