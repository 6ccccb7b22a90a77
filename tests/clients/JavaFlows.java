// Java flows through the SunPKCS11 provider:
//   java JavaFlows <config> digest              SHA-256 through the device provider
//   java JavaFlows <config> <pin> <SHA256withECDSA|SHA256withRSA> <alias>
// signs from a pool of 4 threads and verifies every signature with the software provider.
import java.nio.charset.StandardCharsets;
import java.security.KeyStore;
import java.security.MessageDigest;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.PublicKey;
import java.security.Security;
import java.security.Signature;
import java.util.Arrays;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

public class JavaFlows {
    public static void main(String[] args) throws Exception {
        Provider provider = Security.getProvider("SunPKCS11").configure(args[0]);
        Security.addProvider(provider);
        if (args[1].equals("digest")) {
            digest(provider);
            return;
        }
        KeyStore store = KeyStore.getInstance("PKCS11", provider);
        store.load(null, args[1].toCharArray());
        String algorithm = args[2];
        PrivateKey key = (PrivateKey) store.getKey(args[3], null);
        PublicKey publicKey = store.getCertificate(args[3]).getPublicKey();
        String software = algorithm.endsWith("ECDSA") ? "SunEC" : "SunRsaSign";

        ExecutorService pool = Executors.newFixedThreadPool(4);
        List<Future<Boolean>> results = new ArrayList<>();
        for (int i = 0; i < 16; i++) {
            byte[] data = ("vlrp11 signature " + i).getBytes(StandardCharsets.UTF_8);
            results.add(pool.submit(() -> {
                Signature signer = Signature.getInstance(algorithm, provider);
                signer.initSign(key);
                signer.update(data);
                byte[] signature = signer.sign();
                Signature verifier = Signature.getInstance(algorithm, software);
                verifier.initVerify(publicKey);
                verifier.update(data);
                return verifier.verify(signature);
            }));
        }
        int verified = 0;
        for (Future<Boolean> result : results)
            verified += result.get() ? 1 : 0;
        pool.shutdown();
        System.out.println(algorithm + ": " + verified + " of " + results.size() + " signatures verified");
        System.exit(verified == results.size() ? 0 : 1);
    }

    static void digest(Provider provider) throws Exception {
        byte[] data = "vlrp11 digest".getBytes(StandardCharsets.UTF_8);
        byte[] device = MessageDigest.getInstance("SHA-256", provider).digest(data);
        byte[] software = MessageDigest.getInstance("SHA-256", "SUN").digest(data);
        System.out.println("SHA-256 equal: " + Arrays.equals(device, software));
        System.exit(Arrays.equals(device, software) ? 0 : 1);
    }
}
