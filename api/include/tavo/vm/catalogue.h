// The whole catalogue as data: every service of the API described by its binder's Describe,
// held in one registry by interface name. Clients decode answers with it; tools list and
// describe operations from it.
//
//   auto catalogue = Com::Korvan::Tavo::Vm::DescribeServices();
//   auto get = catalogue->FindMethod("com.korvan.tavo.vm.compute.cpus", "get");
//   get->outputDefinition();  // the structure definition of CpusSvc::Info
//
// What the definitions leave out (an enumeration is a plain string in them) comes with
// DescribeServiceFacts: each service's enumerations and the members that hold one.
#pragma once

#include <memory>
#include <vector>

#include <quil/export.h>
#include <quil/provider/interface_registry.h>
#include <quil/provider/service_facts.h>

namespace Com::Korvan::Tavo::Vm {

// A new registry of the ten services' descriptions on every call.
TAVO_VM_API std::shared_ptr<::Quil::Provider::InterfaceRegistry> DescribeServices();

// The ten services' facts, in the order of DescribeServices' list.
TAVO_VM_API std::vector<::Quil::Provider::ServiceFacts> DescribeServiceFacts();

}  // namespace Com::Korvan::Tavo::Vm
