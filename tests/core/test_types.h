// The binding-core tests' types, generated from tests/api/hand.svc.
#pragma once

#include <tavo/test/hand.h>

namespace Hand = Com::Korvan::Tavo::Test::HandSvc;
