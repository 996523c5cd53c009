#pragma once

// VXI-11's procedures as one table, as rpcgen's server skeleton has them: each procedure's
// program and number, the routines of its arguments and of its result, and its handler over the
// Device. One path serves them all: decode the arguments, call the handler, hand back the result
// to encode in the reply, free the arguments. A client (the tests) decodes replies with the same
// table.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "vxi11.h"  // rpcgen's, from vxi11.x; brings libtirpc's rpc/rpc.h
#include "vxi11/Device.h"

namespace vx::vxi11 {

// A call as its handler takes it: who makes it and which try it is, and room for the bytes its
// result points into (device_read's data), kept until the reply is encoded.
struct Call : Caller {
  std::string kept = {};
};

// What serving a call comes to: its RPC status, and with SUCCESS the result and the routine that
// encodes it. A call that must wait for the lock says so in its Call instead.
struct Served {
  accept_stat status = SUCCESS;
  xdrproc_t routine = nullptr;
  std::shared_ptr<void> result = {};
};

struct Procedure {
  std::uint32_t program;
  std::uint32_t number;
  xdrproc_t result;  // the result's routine: how a client decodes the reply
  Served (*serve)(Device& device, Call& call, XDR* arguments);
};

// Every procedure of both programs (version 1), NULLPROC included.
std::span<const Procedure> procedures();
// The procedure of a program; none when there is no such one.
const Procedure* findProcedure(std::uint32_t program, std::uint32_t number);

}  // namespace vx::vxi11
