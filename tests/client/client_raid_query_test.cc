// The RAID query functions: the request bytes of each query at their offsets, the decoding
// of every record from the moved reply, and the replies that must be refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/client/client_fixture.h"
#include "tests/client/raid_replies.h"
#include "webext/client/client_raid_query.h"

using namespace kel_test;

namespace {

class RaidQuery : public ClientTest {
 protected:
  // Answers every request with what `answer` makes of it until the client goes.
  void Serve(std::function<Bytes(const Bytes&)> answer) {
    Connect([this, answer](FakeConn& conn) {
      Packet p;
      while (conn.Receive(&p, std::chrono::seconds(2))) {
        seen.push_back(p);
        conn.Send(p.code, answer(p.payload));
      }
    });
  }
  // Ends the connection, so that the requests the service saw can be read.
  void Done() {
    CloseConnect(&ci);
    FinishServer();
  }
  // Request `i` as the service saw it: code, length and its first `upTo` bytes.
  std::string Sent(size_t i, size_t upTo) {
    const Packet& p = seen.at(i);
    Bytes head(p.payload.begin(), p.payload.begin() + std::min(upTo, p.payload.size()));
    return std::to_string(p.code) + "/" + std::to_string(p.payload.size()) + ": " + Hex(head);
  }
  // Whether request `i` holds only zero bytes from `from` on.
  bool ZeroFrom(size_t i, size_t from) {
    const Bytes& b = seen.at(i).payload;
    for (size_t k = from; k < b.size(); ++k)
      if (b[k] != 0) return false;
    return true;
  }
  std::vector<Packet> seen;  // written by the script; read after FinishServer
};

TEST_F(RaidQuery, ControllerCountAndInfo) {
  _zr_controller_info c{};
  c.deviceID = 0x3114;
  strcpy(c.chipName, "SiI 3114");
  c.channel_Num = 2;
  c.bSupportRAID5 = 1;
  Serve([c](const Bytes& req) {
    Bytes out = MovedReply(req, 4, c);
    out[6] = 1;  // the count goes into data[1]
    return out;
  });
  unsigned char count = 0;
  EXPECT_EQ(KelGetControllerCount(ci.nCmdSock, &count), 0);
  EXPECT_EQ(count, 1);
  _zr_controller_info got{};
  EXPECT_EQ(KelGetControllerInfo(ci.nCmdSock, 0, &got), 0);
  EXPECT_EQ(got.deviceID, 0x3114u);
  EXPECT_STREQ(got.chipName, "SiI 3114");
  EXPECT_EQ(got.channel_Num, 2);
  EXPECT_EQ(got.bSupportRAID5, 1u);
  Done();
  EXPECT_EQ(Sent(0, 2), "7/92: 01 00");
  EXPECT_TRUE(ZeroFrom(0, 1));
  EXPECT_EQ(Sent(1, 2), "7/92: 02 00");
}

TEST_F(RaidQuery, ChannelAndHubRequestsCarryTheirAddress) {
  _zr_channel_info c{};
  c.io_Base = 0x170;
  c.bMaster_Exist = KEL_CHAN_POS_HUB;
  _zr_device_hub_info_t h{};
  strcpy(h.DeviceHubName, "PM");
  h.nValidDeviceNum = 3;
  h.nMaxDeviceNum = 5;
  Serve([c, h](const Bytes& req) {
    return req.size() == 32 ? MovedReply(req, 4, c) : MovedReply(req, 4, h);
  });
  _zr_channel_info gotChannel{};
  EXPECT_EQ(KelGetChannelInfo(ci.nCmdSock, 0, 1, &gotChannel), 0);
  EXPECT_EQ(gotChannel.io_Base, 0x170u);
  EXPECT_EQ(gotChannel.bMaster_Exist, KEL_CHAN_POS_HUB);
  _zr_device_hub_info_t gotHub{};
  EXPECT_EQ(KelGetHubInfo(ci.nCmdSock, 0, 1, 1, &gotHub), 0);
  EXPECT_EQ(gotHub.nValidDeviceNum, 3);
  EXPECT_EQ(gotHub.nMaxDeviceNum, 5);
  Done();
  EXPECT_EQ(Sent(0, 4), "8/32: 01 00 01 00");
  EXPECT_EQ(Sent(1, 4), "9/52: 01 00 01 01");
}

TEST_F(RaidQuery, DiskMapTakesTheServicesWordOrderAsOneLittleEndianNumber) {
  // The service holds the map as {high 64, low 64} and sends its 32-bit words 2, 3, 0, 1.
  _Kel_Index_Map held{};
  held.map_Low64 = (1ull << 0) | (1ull << 33);
  held.map_High64 = 1ull << 1;  // index 65
  uint32_t words[4];
  memcpy(words, &held, sizeof(words));
  const uint32_t sent[4] = {words[2], words[3], words[0], words[1]};
  Serve([sent](const Bytes& req) { return MovedReply(req, 4, sent); });
  _Kel_Index_Map map{};
  EXPECT_EQ(KelGetDiskMap(ci.nCmdSock, &map), 0);
  EXPECT_EQ(map.map_Low64, held.map_Low64);
  EXPECT_EQ(map.map_High64, held.map_High64);
  EXPECT_TRUE(KelIndexMapHas(map, 33));
  EXPECT_TRUE(KelIndexMapHas(map, 65));
  EXPECT_FALSE(KelIndexMapHas(map, 1));
  EXPECT_FALSE(KelIndexMapHas(map, 200));
  Done();
  EXPECT_EQ(Sent(0, 2), "10/296: 01 00");
}

TEST_F(RaidQuery, ArrayMapOfArraysZeroAndThirtyThree) {
  Serve([](const Bytes& req) {
    Bytes out = Reply(req.at(0), 0, req);
    out[9] = 1;   // data[9..12]: 1
    out[13] = 2;  // data[13..16]: 2
    return out;
  });
  _Kel_Index_Map map{};
  EXPECT_EQ(KelGetArrayMap(ci.nCmdSock, &map), 0);
  EXPECT_EQ(map.map_Low64, (1ull << 0) | (1ull << 33));
  EXPECT_EQ(map.map_High64, 0u);
  Done();
  EXPECT_EQ(Sent(0, 2), "11/120: 01 00");
}

TEST_F(RaidQuery, DiskQueriesReadTheRecordAtDataTwentyFive) {
  _zr_device_info d{};
  memset(d.serialNumber, 'S', sizeof(d.serialNumber));  // no terminating zero
  d.SetCapacity(0x123456789ull);
  d.index = 3;
  d.magicNum = 0xBEEF;
  d.freeProtectNum = 2;
  Serve([d](const Bytes& req) { return MovedReply(req, 20, d); });
  _zr_device_info got{};
  EXPECT_EQ(KelGetDiskInfo(ci.nCmdSock, 3, &got), 0);
  EXPECT_EQ(memcmp(&got, &d, sizeof(d)), 0);
  EXPECT_EQ(got.Capacity(), 0x123456789ull);
  EXPECT_EQ(KelGetDiskInfoByPhyAddress(ci.nCmdSock, 0, 1, 1, &got), 0);
  EXPECT_EQ(KelGetDiskInfoByArrayPos(ci.nCmdSock, 7, KEL_PLAIN_DISK_POSITION, &got), 0);
  Done();
  EXPECT_EQ(Sent(0, 4), "10/296: 02 03 00 00");
  EXPECT_TRUE(ZeroFrom(0, 2));
  EXPECT_EQ(Sent(1, 4), "10/296: 03 00 01 01");
  EXPECT_EQ(Sent(2, 4), "10/296: 04 07 ff 00");
}

TEST_F(RaidQuery, SortedArrayIndexesAndTheirLimit) {
  Serve([this](const Bytes& req) {
    Bytes out = Reply(req.at(0), 0, req);
    if (requests++ == 0) {
      out[9] = 3;
      out[10] = 4;
      out[11] = 0;
      out[12] = 9;
      out[13] = 255;  // the service fills unused places with 255
    } else {
      out[9] = 33;
    }
    return out;
  });
  unsigned char idx[kRaidMaxSortedArrays] = {};
  unsigned int count = 0;
  EXPECT_EQ(KelGetSortedArrayIndexes(ci.nCmdSock, &count, idx), 0);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(idx[0], 4);
  EXPECT_EQ(idx[1], 0);
  EXPECT_EQ(idx[2], 9);
  EXPECT_EQ(KelGetSortedArrayIndexes(ci.nCmdSock, &count, idx), 2003);  // 33 entries
  EXPECT_EQ(count, 3u);
  Done();
  EXPECT_EQ(Sent(0, 2), "11/120: 02 00");
}

TEST_F(RaidQuery, ArrayInfo) {
  _zr_array_info a{};
  a.raidType = KEL_RAID_5;
  a.SetCapacity(1ull << 33);
  strcpy(a.arrayName, "data");
  a.magicNum = 0x1234;
  a.GUID[2] = 77;
  a.nSyncMigReplacing = 2;
  Serve([a](const Bytes& req) { return MovedReply(req, 4, a); });
  _zr_array_info got{};
  EXPECT_EQ(KelGetArrayInfo(ci.nCmdSock, 5, &got), 0);
  EXPECT_EQ(memcmp(&got, &a, sizeof(a)), 0);
  Done();
  EXPECT_EQ(Sent(0, 2), "11/120: 03 05");
}

TEST_F(RaidQuery, VdQueriesDecodeTheSixtyByteRecord) {
  // Written by offset, as the service lays it out.
  Bytes v(60, 0);
  memcpy(v.data(), "vd-one", 6);
  Put<uint16_t>(&v, 24, 0x0102);  // status
  v[27] = 1;                      // channel
  v[28] = 1;                      // master
  v[29] = 1;                      // slot on the disk
  v[30] = 2;                      // disk
  Put<uint32_t>(&v, 32, 9);       // VD index
  v[36] = 1;                      // in an array
  v[38] = 8;                      // array position
  v[39] = 4;                      // array index
  Put<uint64_t>(&v, 44, 0x1'0000'0007ull);
  Put<uint64_t>(&v, 52, 2048);
  Serve([v](const Bytes& req) { return MovedReply(req, 4, v.data(), v.size()); });
  KelVDInfo got{};
  EXPECT_EQ(KelGetVdInfoByArrayPos(ci.nCmdSock, 4, 8, &got), 0);
  EXPECT_EQ(KelGetVdInfoByDiskSlot(ci.nCmdSock, 2, 1, &got), 0);
  EXPECT_STREQ(got.VDName, "vd-one");
  EXPECT_EQ(got.Status(), 0x0102);
  EXPECT_EQ(got.chan_index, 1);
  EXPECT_EQ(got.master, 1);
  EXPECT_EQ(got.vd_index_on_pd, 1);
  EXPECT_EQ(got.pd_index, 2);
  EXPECT_EQ(got.Index(), 9u);
  EXPECT_EQ(got.bVDInRaid, 1);
  EXPECT_EQ(got.array_position, 8);
  EXPECT_EQ(got.array_index, 4);
  EXPECT_EQ(got.CapacityValue(), 0x1'0000'0007ull);
  EXPECT_EQ(got.StartSectorValue(), 2048u);
  Done();
  EXPECT_EQ(Sent(0, 4), "12/64: 04 04 08 00");
  EXPECT_EQ(Sent(1, 4), "12/64: 03 02 01 00");
  EXPECT_TRUE(ZeroFrom(1, 3));
}

TEST_F(RaidQuery, PartitionsSendTheOwnerKindAndReference) {
  _zr_partition_info p{};
  p.count = 2;
  strcpy(p.names[0], "sdb1");
  Serve([this, p](const Bytes& req) {
    _zr_partition_info bad{};
    bad.count = 27;
    return requests++ == 0 ? MovedReply(req, 12, p) : MovedReply(req, 12, bad);
  });
  const _Index_Plus_t ref = KelMakeRef(6, 0xA1B2);
  _zr_partition_info got{};
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_ARRAY, &ref, &got), 0);
  EXPECT_EQ(got.count, 2);
  EXPECT_STREQ(got.names[0], "sdb1");
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_DISK, &ref, &got), 2003);
  Done();
  EXPECT_EQ(Sent(0, 12), "13/172: 00 01 00 00 06 00 00 00 b2 a1 00 00");
  EXPECT_EQ(Sent(1, 2), "13/172: 00 00");
}

TEST_F(RaidQuery, StaleMagicComesBackAsTwoWithoutPayload) {
  Serve([](const Bytes& req) { return CodeReply(req, 2); });
  const _Index_Plus_t ref = KelMakeRef(1, 0x0BAD);
  _zr_partition_info got{};
  got.count = 5;
  EXPECT_EQ(KelGetPartitionInfo(ci.nCmdSock, KEL_PART_OWNER_DISK, &ref, &got), 2);
  EXPECT_EQ(got.count, 5);  // untouched
  unsigned char status = 9;
  EXPECT_EQ(KelSmartStatus(ci.nCmdSock, &ref, &status), 2);
  EXPECT_EQ(status, 9);
}

TEST_F(RaidQuery, ShortRepliesAreRefusedNotDecoded) {
  Serve([](const Bytes& req) {
    Bytes out = Reply(req.at(0), 0, req);
    out.pop_back();  // return code 0 but one byte short
    return out;
  });
  _zr_device_info disk{};
  disk.index = 42;
  EXPECT_EQ(KelGetDiskInfo(ci.nCmdSock, 3, &disk), 2003);
  EXPECT_EQ(disk.index, 42u);
  _Kel_Index_Map map{};
  EXPECT_EQ(KelGetDiskMap(ci.nCmdSock, &map), 2003);
  const _Index_Plus_t ref = KelMakeRef(2, 1);
  unsigned char page[kRaidSmartPageSize] = {};
  EXPECT_EQ(KelSmartReadThresholds(ci.nCmdSock, &ref, page), 2003);
  unsigned char count = 0;
  EXPECT_EQ(KelGetControllerCount(ci.nCmdSock, &count), 2003);
}

TEST_F(RaidQuery, RescanSendsFourZeroBytes) {
  Serve([](const Bytes& req) { return CodeReply(req, 0); });
  EXPECT_EQ(KelRescanHardware(ci.nCmdSock), 0);
  Done();
  EXPECT_EQ(Sent(0, 4), "14/4: 00 00 00 00");
}

TEST_F(RaidQuery, ReloadDriverPlacesFlagUserAndPassword) {
  Serve([](const Bytes& req) { return CodeReply(req, 0); });
  const std::string user19(19, 'u');
  EXPECT_EQ(KelReloadDriver(ci.nCmdSock, true, user19.c_str(), "secret"), 0);
  Done();
  const Bytes& p = seen.at(0).payload;
  EXPECT_EQ(Sent(0, 4), "15/44: 00 01 00 00");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[4])), user19);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[24])), "secret");
}

TEST_F(RaidQuery, ReloadDriverRefusesTextsOfTwentyBytesBeforeSending) {
  // No connection: a request that were sent would fail with 2001 instead.
  testing::internal::CaptureStdout();
  EXPECT_EQ(KelReloadDriver(-1, true, std::string(20, 'u').c_str(), "pw"), 2015);
  EXPECT_EQ(KelReloadDriver(-1, true, "root", std::string(20, 'p').c_str()), 2015);
  EXPECT_TRUE(Contains(testing::internal::GetCapturedStdout(), "longer than 19 bytes"));
  EXPECT_EQ(KelReloadDriver(-1, false, nullptr, ""), 2000);
}

TEST_F(RaidQuery, SmartRequestsCarrySizeReferenceAndDataPart) {
  Serve([](const Bytes& req) {
    Bytes out = Reply(req.at(0), req.at(0) == 5 ? 803 : 0, req);
    if (req.size() > 12) out[17] = req.at(0) == 4 ? KEL_SMART_BELOW_THRESHOLD : 0x10;
    if (req.size() > 512) out[528] = 0x5A;                        // last page byte
    return out;
  });
  const _Index_Plus_t ref = KelMakeRef(2, 0x0102);
  unsigned char page[kRaidSmartPageSize] = {};
  EXPECT_EQ(KelSmartReadValues(ci.nCmdSock, &ref, page), 0);
  EXPECT_EQ(page[0], 0x10);
  EXPECT_EQ(page[511], 0x5A);
  unsigned char status = 0;
  EXPECT_EQ(KelSmartStatus(ci.nCmdSock, &ref, &status), 0);
  EXPECT_EQ(status, KEL_SMART_BELOW_THRESHOLD);
  EXPECT_EQ(KelSmartCheckAll(ci.nCmdSock), KEL_SMART_SOME_UNHEALTHY);
  Done();
  EXPECT_EQ(Sent(0, 12), "16/524: 02 00 00 02 02 00 00 00 02 01 00 00");
  EXPECT_EQ(Sent(1, 13), "16/13: 04 00 01 00 02 00 00 00 02 01 00 00 00");
  EXPECT_EQ(Sent(2, 12), "16/12: 05 00 00 00 00 00 00 00 00 00 00 00");
}

// A protected-area reply announcing `count` areas and carrying `carried` of them.
Bytes ProtectReply(unsigned char count, unsigned char carried) {
  Bytes body(4 + 16 * carried, 0);
  body[0] = 17;
  body[2] = count;
  for (unsigned char i = 0; i < carried; ++i) {
    Put<uint64_t>(&body, 4 + 16 * i, 1000 * (i + 1));
    Put<uint64_t>(&body, 12 + 16 * i, 24 + i);
  }
  return Reply(17, 0, body);
}

TEST_F(RaidQuery, ProtectedAreasFromDataNine) {
  Serve([this](const Bytes& req) {
    return requests++ == 0 ? ProtectReply(2, 2) : CodeReply(req, 0);
  });
  _zr_protect_free_info_t areas[4];
  unsigned int count = 0;
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 4, &count), 0);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(areas[0].startSector, 1000u);
  EXPECT_EQ(areas[0].length, 24u);
  EXPECT_EQ(areas[1].startSector, 2000u);
  EXPECT_EQ(areas[1].length, 25u);
  // A reply of the return code alone: none.
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 4, &count), 0);
  EXPECT_EQ(count, 0u);
  Done();
  EXPECT_EQ(Sent(0, 4), "17/4: 11 02 00 00");
}

TEST_F(RaidQuery, ProtectedAreasBeyondTheReplyOrTheCallersRecordsAreRefused) {
  Serve([this](const Bytes&) {
    return requests++ == 0 ? ProtectReply(2, 1) : ProtectReply(2, 2);
  });
  _zr_protect_free_info_t areas[1];
  unsigned int count = 0;
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 1, &count), 2003);
  EXPECT_EQ(KelGetProtectedAreas(ci.nCmdSock, 2, areas, 1, &count), 2015);
}

TEST_F(RaidQuery, NullOutputsAreInvalidParameters) {
  EXPECT_EQ(KelGetControllerCount(-1, nullptr), 2000);
  EXPECT_EQ(KelGetDiskInfo(-1, 0, nullptr), 2000);
  EXPECT_EQ(KelGetArrayMap(-1, nullptr), 2000);
  EXPECT_EQ(KelGetPartitionInfo(-1, 0, nullptr, nullptr), 2000);
  EXPECT_EQ(KelSmartStatus(-1, nullptr, nullptr), 2000);
}

}  // namespace
