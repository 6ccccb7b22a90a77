#include <gtest/gtest.h>

#include <string_view>

#include "crypto/cpu_support.h"
#include "crypto/support/any_hash.h"

// Published and independently computed digests for every hash, on both SHA-1/SHA-256 paths:
// FIPS 180-4 and FIPS 202 examples, DSTU 7564 examples, and messages whose padding just fits
// or spills into an extra block.

namespace vlrp11::test {
namespace {

struct MessageRecipe {
    std::string_view text;     // used when count is 0
    std::size_t count = 0;     // count bytes of `fill`, or of 00 01 02 ... when counting
    char fill = 0;
    bool counting = false;
};

constexpr MessageRecipe text(std::string_view s)
{
    return {s};
}

constexpr MessageRecipe seq(std::size_t n)
{
    return {{}, n, 0, true};
}

constexpr MessageRecipe repeat(char c, std::size_t n)
{
    return {{}, n, c, false};
}

Bytes build(const MessageRecipe& recipe)
{
    if (recipe.counting)
        return counting_bytes(recipe.count);
    if (recipe.count != 0)
        return Bytes(recipe.count, static_cast<std::uint8_t>(recipe.fill));
    return Bytes(recipe.text.begin(), recipe.text.end());
}

struct HashVector {
    DigestType type;
    MessageRecipe message;
    std::string_view digest;
};

// SHA and SHA-3 digests from the FIPS examples and an independent implementation; Kupyna from
// the standard's examples and the lengths around its padding boundary.
const HashVector vectors[] = {
    {DigestType::sha1, text(""),
     "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {DigestType::sha1, text("abc"),
     "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {DigestType::sha1, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {DigestType::sha1, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "a49b2446a02c645bf419f995b67091253a04a259"},
    {DigestType::sha1, repeat('a', 1000000),
     "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {DigestType::sha1, seq(55),
     "8ae2d46729cfe68ff927af5eec9c7d1b66d65ac2"},
    {DigestType::sha1, seq(56),
     "636e2ec698dac903498e648bd2f3af641d3c88cb"},
    {DigestType::sha1, seq(63),
     "6d942da0c4392b123528f2905c713a3ce28364bd"},
    {DigestType::sha1, seq(64),
     "c6138d514ffa2135bfce0ed0b8fac65669917ec7"},
    {DigestType::sha1, seq(65),
     "69bd728ad6e13cd76ff19751fde427b00e395746"},
    {DigestType::sha224, text(""),
     "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
    {DigestType::sha224, text("abc"),
     "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
    {DigestType::sha224, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
    {DigestType::sha224, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "c97ca9a559850ce97a04a96def6d99a9e0e0e2ab14e6b8df265fc0b3"},
    {DigestType::sha224, repeat('a', 1000000),
     "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},
    {DigestType::sha224, seq(55),
     "8991dfba74284e04dc7581c7c3e4068ff6cb7a63733361429834bb56"},
    {DigestType::sha224, seq(56),
     "2b2cd637c16ad7290bb067ad7d8fd04e204fa43a84366afc7130f4ef"},
    {DigestType::sha224, seq(63),
     "049e8dd7eab3378ce9f823bfb569e5b270235d4b7f9623606971998f"},
    {DigestType::sha224, seq(64),
     "c37b88a3522dbf7ac30d1c68ea397ac11d4773571aed01ddab73531e"},
    {DigestType::sha224, seq(65),
     "114b5fd665736a96585c5d5837d35250aed73c725252cbf7f8b121f6"},
    {DigestType::sha256, text(""),
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {DigestType::sha256, text("abc"),
     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {DigestType::sha256, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {DigestType::sha256, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {DigestType::sha256, repeat('a', 1000000),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {DigestType::sha256, seq(55),
     "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
    {DigestType::sha256, seq(56),
     "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
    {DigestType::sha256, seq(63),
     "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
    {DigestType::sha256, seq(64),
     "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
    {DigestType::sha256, seq(65),
     "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"},
    {DigestType::sha384, text(""),
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {DigestType::sha384, text("abc"),
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {DigestType::sha384, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1fe3c8452b"},
    {DigestType::sha384, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {DigestType::sha384, repeat('a', 1000000),
     "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},
    {DigestType::sha384, seq(111),
     "f5f9fe110d809d34029de262a01b208356caec6e054c7f926b2591f6c9780579d4b59f5578c6f531a84f158a33660cef"},
    {DigestType::sha384, seq(112),
     "33ba080ec0ccb378e4e95fed3b26c23aa1a280476e007519ee47f60cd9c5c8a65d627259a9aa2fd33ca06d3c14ee5548"},
    {DigestType::sha384, seq(127),
     "d5fcfe2fcf6b3ef375ede37c8123d9b78065fecc1d55197e2f7721e6e9a93d0ba4d7fd15f9b96dea2744df24141ba2ef"},
    {DigestType::sha384, seq(128),
     "ca2385773319124534111a36d0581fc3f00815e907034b90cff9c3a861e126a741d5dfcff65a417b6d7296863ac0ec17"},
    {DigestType::sha384, seq(129),
     "ef49ae5b9ad51433d00323528d81ea8d2e4d2b507dbd9f1cb84f952b66249a788b1c89fcdb77a0db9f1feb901d47fc73"},
    {DigestType::sha512, text(""),
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    {DigestType::sha512, text("abc"),
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {DigestType::sha512, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"},
    {DigestType::sha512, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
    {DigestType::sha512, repeat('a', 1000000),
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
    {DigestType::sha512, seq(111),
     "a1a111449b198d9b1f538bad7f3fc1022b3a5b1a5e90a0bc860de8512746cbc31599e6c834de3a3235327af0b51ff57bf7acf1974a73014d9c3953812edc7c8d"},
    {DigestType::sha512, seq(112),
     "c5fbd731d19d2ae1180f001be72c2c1aaba1d7b094b3748880e24593b8e117a750e11c1bd867cc2f96dace8c8b74abd2d5c4f236be444e77d30d1916174070b9"},
    {DigestType::sha512, seq(127),
     "eab89674feaa34e27aebeeff3c0a4d70070bb872d5e9f186cf1dbbdee517b6e35724d629ff025a5b07185e911ada7e3c8acf830aa0e4f71777bd2d44f504f7f0"},
    {DigestType::sha512, seq(128),
     "1dffd5e3adb71d45d2245939665521ae001a317a03720a45732ba1900ca3b8351fc5c9b4ca513eba6f80bc7b1d1fdad4abd13491cb824d61b08d8c0e1561b3f7"},
    {DigestType::sha512, seq(129),
     "1d9da57fbbdab09afb3506ab2d223d06109d65c1c8ad197f50138f714bc4c3f2fe5787922639c680acad1c651f955990425954ce2cba0c5cc83f2667d878eb0f"},
    {DigestType::sha3_224, text(""),
     "6b4e03423667dbb73b6e15454f0eb1abd4597f9a1b078e3f5b5a6bc7"},
    {DigestType::sha3_224, text("abc"),
     "e642824c3f8cf24ad09234ee7d3c766fc9a3a5168d0c94ad73b46fdf"},
    {DigestType::sha3_224, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "8a24108b154ada21c9fd5574494479ba5c7e7ab76ef264ead0fcce33"},
    {DigestType::sha3_224, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "543e6868e1666c1a643630df77367ae5a62a85070a51c14cbf665cbc"},
    {DigestType::sha3_224, repeat('a', 1000000),
     "d69335b93325192e516a912e6d19a15cb51c6ed5c15243e7a7fd653c"},
    {DigestType::sha3_224, seq(143),
     "64d0e8a1be3cf30ef6727b30a6e428f7f068d44634c943d277ad8e7f"},
    {DigestType::sha3_224, seq(144),
     "5be75e6a08f19913a1d8036c056cc4556b98dc90aeca3f2a0664dedc"},
    {DigestType::sha3_224, seq(145),
     "90b861ac1b1598459ad8337afa9933ce2f1a6f972c57daf8fc2737e4"},
    {DigestType::sha3_256, text(""),
     "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a"},
    {DigestType::sha3_256, text("abc"),
     "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532"},
    {DigestType::sha3_256, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "41c0dba2a9d6240849100376a8235e2c82e1b9998a999e21db32dd97496d3376"},
    {DigestType::sha3_256, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "916f6061fe879741ca6469b43971dfdb28b1a32dc36cb3254e812be27aad1d18"},
    {DigestType::sha3_256, repeat('a', 1000000),
     "5c8875ae474a3634ba4fd55ec85bffd661f32aca75c6d699d0cdcb6c115891c1"},
    {DigestType::sha3_256, seq(135),
     "fded8fd9d6551c601eeb3b7c6bc5e5cfd8aad1d015b7e9aaa9c9b9475231d5e2"},
    {DigestType::sha3_256, seq(136),
     "cf3ccff92480a29160c2d38317c430e14749bfee1788106957dfe73f8c4930e5"},
    {DigestType::sha3_256, seq(137),
     "ce9d7dc90913ee5d92745019479a5352c6d6279bef18ed07dc0a83ee8084daca"},
    {DigestType::sha3_384, text(""),
     "0c63a75b845e4f7d01107d852e4c2485c51a50aaaa94fc61995e71bbee983a2ac3713831264adb47fb6bd1e058d5f004"},
    {DigestType::sha3_384, text("abc"),
     "ec01498288516fc926459f58e2c6ad8df9b473cb0fc08c2596da7cf0e49be4b298d88cea927ac7f539f1edf228376d25"},
    {DigestType::sha3_384, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "991c665755eb3a4b6bbdfb75c78a492e8c56a22c5c4d7e429bfdbc32b9d4ad5aa04a1f076e62fea19eef51acd0657c22"},
    {DigestType::sha3_384, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "79407d3b5916b59c3e30b09822974791c313fb9ecc849e406f23592d04f625dc8c709b98b43b3852b337216179aa7fc7"},
    {DigestType::sha3_384, repeat('a', 1000000),
     "eee9e24d78c1855337983451df97c8ad9eedf256c6334f8e948d252d5e0e76847aa0774ddb90a842190d2c558b4b8340"},
    {DigestType::sha3_384, seq(103),
     "1f91ee551ad18f268876d1fc262f137fe196580216c5193819a95ec5222537d2a658dd129c3d8080e65ec7460f1f4704"},
    {DigestType::sha3_384, seq(104),
     "5b8d0d5cf8b41be507be8fcbfcbdbac3a28eb368d430fed6780aaa78a93a8da4a6c50485949ca344f228be91a96005a3"},
    {DigestType::sha3_384, seq(105),
     "4a2f0a8f2f1f4cc4605cc2537e0be28cf8b465c30f0a54b494a7128ec54ee4e85706b5e47a5697344d15cbf85680cd40"},
    {DigestType::sha3_512, text(""),
     "a69f73cca23a9ac5c8b567dc185a756e97c982164fe25859e0d1dcc1475c80a615b2123af1f5f94c11e3e9402c3ac558f500199d95b6d3e301758586281dcd26"},
    {DigestType::sha3_512, text("abc"),
     "b751850b1a57168a5693cd924b6b096e08f621827444f70d884f5d0240d2712e10e116e9192af3c91a7ec57647e3934057340b4cf408d5a56592f8274eec53f0"},
    {DigestType::sha3_512, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "04a371e84ecfb5b8b77cb48610fca8182dd457ce6f326a0fd3d7ec2f1e91636dee691fbe0c985302ba1b0d8dc78c086346b533b49c030d99a27daf1139d6e75e"},
    {DigestType::sha3_512, text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
     "afebb2ef542e6579c50cad06d2e578f9f8dd6881d7dc824d26360feebf18a4fa73e3261122948efcfd492e74e82e2189ed0fb440d187f382270cb455f21dd185"},
    {DigestType::sha3_512, repeat('a', 1000000),
     "3c3a876da14034ab60627c077bb98f7e120a2a5370212dffb3385a18d4f38859ed311d0a9d5141ce9cc5c66ee689b266a8aa18ace8282a0e0db596c90b0a7b87"},
    {DigestType::sha3_512, seq(71),
     "3ccc850d53a1287af7b4560b2ef0d43eb5d9a80d62a0e9cf1dbc040135921104d4395168e90bfc871773ebb34bca1bd67056e1cc7dc7a48ff7c3167d389f117c"},
    {DigestType::sha3_512, seq(72),
     "5d63f2bbe971a983ac6847480106e4e1264ee3a0befd79954914e1d86e795b2e18238f12fc5e46cb9cc78efdec610a93647cc04e1c23d8caaa6a58c21dd26c07"},
    {DigestType::sha3_512, seq(73),
     "921d9b7b2b0f3066a1646dbb058c979cb3925dec0f8c269faaa7f9648e73465ae55ec527257d5d5e1cfdbf5d6799bea1004b6186f5108c74e3b92fe924166558"},
    {DigestType::kupyna256, seq(64),
     "08f4ee6f1be6903b324c4e27990cb24ef69dd58dbe84813ee0a52f6631239875"},
    {DigestType::kupyna256, seq(128),
     "0a9474e645a7d25e255e9e89fff42ec7eb31349007059284f0b182e452bda882"},
    {DigestType::kupyna256, seq(256),
     "d305a32b963d149dc765f68594505d4077024f836c1bf03806e1624ce176c08f"},
    {DigestType::kupyna256, text("\xff"),
     "ea7677ca4526555680441c117982ea14059ea6d0d7124d6ecdb3deec49e890f4"},
    {DigestType::kupyna256, seq(95),
     "1075c8b0cb910f116bda5fa1f19c29cf8ecc75caff7208ba2994b68fc56e8d16"},
    {DigestType::kupyna256, seq(0),
     "cd5101d1ccdf0d1d1f4ada56e888cd724ca1a0838a3521e7131d4fb78d0f5eb6"},
    {DigestType::kupyna512, seq(64),
     "3813e2109118cdfb5a6d5e72f7208dccc80a2dfb3afdfb02f46992b5edbe536b3560dd1d7e29c6f53978af58b444e37ba685c0dd910533ba5d78efffc13de62a"},
    {DigestType::kupyna512, seq(128),
     "76ed1ac28b1d0143013ffa87213b4090b356441263c13e03fa060a8cada32b979635657f256b15d5fca4a174de029f0b1b4387c878fcc1c00e8705d783fd7ffe"},
    {DigestType::kupyna512, seq(256),
     "0dd03d7350c409cb3c29c25893a0724f6b133fa8b9eb90a64d1a8fa93b56556611eb187d715a956b107e3bfc76482298133a9ce8cbc0bd5e1436a5b197284f7e"},
    {DigestType::kupyna512, text("\xff"),
     "871b18cf754b72740307a97b449abeb32b64444cc0d5a4d65830ae5456837a72d8458f12c8f06c98c616abe11897f86263b5cb77c420fb375374bec52b6d0292"},
    {DigestType::kupyna512, seq(192),
     "b189bfe987f682f5f167f0d7fa565330e126b6e592b1c55d44299064ef95b1a57f3c2d0ecf17869d1d199ebbd02e8857fb8add67a8c31f56cd82c016cf743121"},
    {DigestType::kupyna512, seq(0),
     "656b2f4cd71462388b64a37043ea55dbe445d452aecd46c3298343314ef04019bcfa3f04265a9857f91be91fce197096187ceda78c9c1c021c294a0689198538"},
    {DigestType::kupyna384, seq(95),
     "d9021692d84e5175735654846ba751e6d0ed0fac36dfbc0841287dcb0b5584c75016c3decc2a6e47c50b2f3811e351b8"},
    {DigestType::kupyna384, seq(0),
     "e445d452aecd46c3298343314ef04019bcfa3f04265a9857f91be91fce197096187ceda78c9c1c021c294a0689198538"},
    {DigestType::kupyna384, seq(64),
     "c80a2dfb3afdfb02f46992b5edbe536b3560dd1d7e29c6f53978af58b444e37ba685c0dd910533ba5d78efffc13de62a"},
    {DigestType::kupyna384, seq(128),
     "b356441263c13e03fa060a8cada32b979635657f256b15d5fca4a174de029f0b1b4387c878fcc1c00e8705d783fd7ffe"},
    {DigestType::kupyna384, seq(256),
     "6b133fa8b9eb90a64d1a8fa93b56556611eb187d715a956b107e3bfc76482298133a9ce8cbc0bd5e1436a5b197284f7e"},
    {DigestType::kupyna256, seq(51),
     "6f8f0a3f8261af77581ab01cb89d4cb5ed87ca1d9954f11d5586e94b45c82fb8"},
    {DigestType::kupyna256, seq(52),
     "8b6fe2ba77e684b2a1ac82232f4efc49f681cd18c82a0cfff530186a2fc642d2"},
    {DigestType::kupyna256, seq(63),
     "03a44a02c9ffafb43addb290bbcf3b8168f624e8cbd332dc6a9dc7df9d39cbc2"},
    {DigestType::kupyna256, seq(65),
     "a81c2fb92351f370050b7c36cd51736d5603a50ec1106cbd5fe1c9be2e5c77a6"},
    {DigestType::kupyna384, seq(115),
     "819f24ad56ce42c76a59adc36672e71b15fbd5d3e1ddfae96fd88bd860fe4a1cdae8d2465b5e9238fd3eb695a69b4b2f"},
    {DigestType::kupyna384, seq(116),
     "c55b19c315797f822744025d4de8bab88d3cdb9db9c965d5db4866dcedd485b407a95f2c2e6340774d8993b9d9fe505e"},
    {DigestType::kupyna512, seq(115),
     "0ce7a17a34c4785da207da4ac39a54f2819f24ad56ce42c76a59adc36672e71b15fbd5d3e1ddfae96fd88bd860fe4a1cdae8d2465b5e9238fd3eb695a69b4b2f"},
    {DigestType::kupyna512, seq(116),
     "306bb714aed5988733a6011062004452c55b19c315797f822744025d4de8bab88d3cdb9db9c965d5db4866dcedd485b407a95f2c2e6340774d8993b9d9fe505e"},
    {DigestType::kupyna512, seq(127),
     "45d00504bc31f2545b2a5c9742ce26118cf0de519df78ece9476193347ab5acd3ff0c3633ab78d9cd8dc6ef02d2343f128612a00952c9b17ad719a382ecc19ff"},
    {DigestType::kupyna512, seq(129),
     "0137f2f8f9f16b55586dca3e24229f2429369df490d2d2934d84c6f8f15dec73176b7bc4dfff211e435dd4784bdea21ad6aefd43d49a9f57994641e8b2fce144"},
};

class HashVectorTest : public testing::TestWithParam<std::tuple<ShaPath, HashVector>> {
protected:
    void SetUp() override
    {
        if (!sha_path_available(std::get<0>(GetParam()), std::get<1>(GetParam()).type))
            GTEST_SKIP() << "no instructions for this path on this processor";
    }
};

TEST_P(HashVectorTest, OneUpdateGivesTheDigest)
{
    const auto& [path, vector] = GetParam();
    ShaPathGuard guard(path);
    EXPECT_EQ(to_hex(digest_in_pieces(vector.type, build(vector.message), 0)), vector.digest);
}

TEST_P(HashVectorTest, ByteAtATimeGivesTheDigest)
{
    const auto& [path, vector] = GetParam();
    ShaPathGuard guard(path);
    EXPECT_EQ(to_hex(digest_in_pieces(vector.type, build(vector.message), 1)), vector.digest);
}

std::string vector_name(const testing::TestParamInfo<HashVectorTest::ParamType>& info)
{
    return sha_path_name(std::get<0>(info.param)) + "_" + digest_name(std::get<1>(info.param).type) + "_" +
           std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Standards, HashVectorTest,
                         testing::Combine(testing::ValuesIn(all_sha_paths), testing::ValuesIn(vectors)), vector_name);

}  // namespace
}  // namespace vlrp11::test
