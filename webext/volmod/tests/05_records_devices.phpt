--TEST--
records: controller, channel, hub, disk (three queries) and map keys in order with their types
--FILE--
<?php
require __DIR__ . '/volmod.inc';
vm_login();
$r = [];
$r[] = php_zr_get_controller_num($n); echo "controllers $n\n";
$r[] = php_zr_get_controller_info(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_channel_info(0, 1, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_device_hub_info(0, 1, 1, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_pd_num($a); echo vm_shape($a), " disks ", implode(',', vm_slots($a['map_Low64'])), "\n";
$r[] = php_zr_get_array_num_tarvoii(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_pd_info(0, $a); echo vm_shape($a), "\n";
$r[] = php_zr_get_pd_info_by_phy_address(0, 0, 0, $b); echo vm_shape($b), "\n";
$r[] = php_zr_get_pd_smart_status_tarvoii(vm_ref($a), $s);
$r[] = php_zr_exec_smart_read_data(vm_ref($a), $d);
vm_out($a['serialNumber'] === $b['serialNumber'], $b['realCapacityLow'] == $a['realCapacityLow'], $s, count($d) > 0, gettype($d[0]));
$untouched = 'x';
vm_out($r, php_zr_get_array_info(300, $untouched), php_zr_get_pd_info(99, $untouched), $untouched);
?>
--EXPECTF--
controllers 1
deviceID:d chipName:s manufactory:s support_PIO:i support_MutiDMA:i support_UltraDMA:i channel_Num:i bSupportRaid0Migration:b bSupportRAID5:b bSupportRAID6:b index:i
index:d ctrlerIndex:d io_Base:d control_Base:d BusMaster_Base:d cableType:i bMaster_Exist:i bSlave_Exist:i bSlaveValid:b
DeviceHubName:s controllerindex:i channelindex:i ismaster:d hubType:d nValidDeviceNum:i deviceVenderID:i revisionInfo:i nMaxDeviceNum:i
map_High64:s map_Low64:s disks 0,1,2,3
map_High64:s map_Low64:s
serialNumber:s firmwareRevison:s modelName:s minorRevisonNumber:s cylinderNumber:d headNumber:d sectorNumberPerTrack:d capacityLow:d capacityHigh:d supportPIOTransferMode:i supportMultiDMAMode:i supportUltraDMAMode:i currentTransferMode:i deviceType:i status:i ctrler_index:i chan_index:i master:b index:i systemDisk:i bDevInRaid:i array_position:i array_index:i realCapacityLow:i realCapacityHigh:i deviceRoot:i PortNum:i VendorAcoustic:i CurrentAcoustic:i bytesPerSector:i bInReplacement:b replaceID:i bReplacedSrcPD:b freeProtectNum:i bInReplacing:b magicNum:i vdNum:i bConfigTarvo:b bSupportNCQ:b byNCQMode:i
serialNumber:s firmwareRevison:s modelName:s minorRevisonNumber:s cylinderNumber:d headNumber:d sectorNumberPerTrack:d capacityLow:d capacityHigh:d supportPIOTransferMode:i supportMultiDMAMode:i supportUltraDMAMode:i currentTransferMode:i deviceType:i status:i ctrler_index:i chan_index:i master:b index:i systemDisk:i bDevInRaid:i array_position:i array_index:i realCapacityLow:d realCapacityHigh:d deviceRoot:i PortNum:i VendorAcoustic:i CurrentAcoustic:i  bytesPerSector:i bInReplacement:b replaceID:i bReplacedSrcPD:b freeProtectNum:i bInReplacing:b magicNum:i vdNum:i bConfigTarvo:b bSupportNCQ:b byNCQMode:i
[true,true,0,true,"integer"]
[[0,0,0,0,0,0,0,0,0,0],2000,200,"x"]
