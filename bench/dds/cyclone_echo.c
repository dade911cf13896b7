/* The floor of the DDS round-trip benchmark: a plain Cyclone DDS program with an idlc-generated
 * PointCloud2 type that sends every cloud it takes on rt/bench/ping straight back on
 * rt/bench/pong. Runs until SIGINT/SIGTERM; the domain comes from ROS_DOMAIN_ID. */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include "dds/dds.h"
#include "ros_types.h"

static volatile sig_atomic_t stop = 0;

static void on_signal(int sig)
{
  (void) sig;
  stop = 1;
}

int main(void)
{
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  const char * env = getenv("ROS_DOMAIN_ID");
  const dds_domainid_t domain = env && *env ? (dds_domainid_t) strtoul(env, NULL, 0) : 0;
  const dds_entity_t participant = dds_create_participant(domain, NULL, NULL);
  if (participant < 0) {
    fprintf(stderr, "cyclone_echo: %s\n", dds_strretcode(-participant));
    return 2;
  }
  dds_qos_t * qos = dds_create_qos();
  dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(qos, DDS_HISTORY_KEEP_LAST, 1);
  const dds_entity_t ping = dds_create_topic(
    participant, &sensor_msgs_msg_dds__PointCloud2__desc, "rt/bench/ping", NULL, NULL);
  const dds_entity_t pong = dds_create_topic(
    participant, &sensor_msgs_msg_dds__PointCloud2__desc, "rt/bench/pong", NULL, NULL);
  const dds_entity_t reader = dds_create_reader(participant, ping, qos, NULL);
  const dds_entity_t writer = dds_create_writer(participant, pong, qos, NULL);
  dds_delete_qos(qos);
  if (reader < 0 || writer < 0) {
    fprintf(stderr, "cyclone_echo: cannot create the endpoints\n");
    return 2;
  }
  const dds_entity_t waitset = dds_create_waitset(participant);
  const dds_entity_t cond = dds_create_readcondition(reader, DDS_ANY_STATE);
  dds_waitset_attach(waitset, cond, 0);
  while (!stop) {
    dds_waitset_wait(waitset, NULL, 0, DDS_MSECS(100));
    void * samples[1] = {NULL};
    dds_sample_info_t info;
    while (dds_take(reader, samples, &info, 1, 1) > 0) {
      if (info.valid_data) {
        dds_write(writer, samples[0]);
      }
      dds_return_loan(reader, samples, 1);
    }
  }
  dds_delete(participant);
  return 0;
}
