#pragma once
// The order of the load-time registrations, for [[gnu::constructor(priority)]].
// The dynamic loader runs lower priorities first: the loaders that convert
// Python settings objects register before the plug-ins, and both registries
// are complete before any Python code runs.

#define OVCORE_LOADER_REGISTRATION_PRIORITY 201
#define OVCORE_PLUGIN_REGISTRATION_PRIORITY 202
